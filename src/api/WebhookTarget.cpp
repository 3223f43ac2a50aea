#include "api/WebhookTarget.h"

#include "support/Convert.h"

#include <algorithm>

namespace vesk::api {

namespace {

// This machine, private networks, shared address space, link-local, unspecified, multicast and
// unique-local: nothing a webhook to another system has business reaching.
constexpr std::string_view kInternal[]
    = {"0.0.0.0/8", "10.0.0.0/8", "100.64.0.0/10", "127.0.0.0/8", "169.254.0.0/16", "172.16.0.0/12",
        "192.168.0.0/16", "224.0.0.0/3", "::/128", "::1/128", "fc00::/7", "fe80::/10", "ff00::/8"};

bool isLoopback(std::string_view host)
{
    static const auto v4 = AddressRange::Parse("127.0.0.0/8");
    static const auto v6 = AddressRange::Parse("::1/128");
    return ToLower(std::string(host)) == "localhost" || v4->Contains(host) || v6->Contains(host);
}

} // namespace

std::optional<TargetUrl> ParseTargetUrl(std::string_view url, std::string& why)
{
    if (url.size() > 2000 || std::any_of(url.begin(), url.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
        })) {
        why = "the URL has blanks or control characters, or is longer than 2000 characters";
        return std::nullopt;
    }
    TargetUrl t;
    const auto colon = url.find("://");
    t.scheme = colon == std::string_view::npos ? "" : ToLower(std::string(url.substr(0, colon)));
    if (t.scheme != "https" && t.scheme != "http") {
        why = "the URL must start with https://";
        return std::nullopt;
    }
    std::string_view authority = url.substr(colon + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (authority.find('@') != std::string_view::npos) {
        why = "the URL must not carry a user name or password";
        return std::nullopt;
    }
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) {
            why = "the URL's IPv6 address has no closing bracket";
            return std::nullopt;
        }
        t.host = std::string(authority.substr(1, close - 1));
    } else {
        t.host = std::string(authority.substr(0, authority.find(':')));
    }
    if (t.host.empty()) {
        why = "the URL names no host";
        return std::nullopt;
    }
    t.loopbackHost = isLoopback(t.host);
    if (t.scheme == "http" && !t.loopbackHost) {
        why = "the URL must be https (plain http only to this machine)";
        return std::nullopt;
    }
    return t;
}

std::string ShownUrl(std::string_view url)
{
    const auto colon = url.find("://");
    const std::size_t start = colon == std::string_view::npos ? 0 : colon + 3;
    const std::size_t rest = std::min(url.find_first_of("/?#", start), url.size());
    const std::size_t at = url.substr(start, rest - start).rfind('@');
    const std::size_t host = at == std::string_view::npos ? start : start + at + 1;
    std::string shown(url.substr(0, start));
    shown += url.substr(host, rest - host);
    const std::size_t tail = std::min(url.find_first_of("?#", rest), url.size());
    shown += url.substr(rest, tail - rest);
    if (tail < url.size())
        shown += "?\u2026";
    return shown;
}

bool IsInternalAddress(std::string_view address)
{
    static const std::vector<AddressRange> ranges = [] {
        std::vector<AddressRange> r;
        for (std::string_view text : kInternal)
            r.push_back(*AddressRange::Parse(text));
        return r;
    }();
    return std::any_of(
        ranges.begin(), ranges.end(), [&](const AddressRange& r) { return r.Contains(address); });
}

bool AddressAllowed(std::string_view address, const std::vector<AddressRange>& allow)
{
    if (!AddressBytes(address))
        return false;
    return !IsInternalAddress(address) || std::any_of(allow.begin(), allow.end(), [&](const AddressRange& r) {
        return r.Contains(address);
    });
}

} // namespace vesk::api
