#include "store/ConnectionText.h"

#include "store/db.h"
#include "support/Convert.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace vesk::store {
namespace {

constexpr std::string_view kMask = "********";

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::size_t uriPrefixLength(std::string_view text)
{
    for (const std::string_view prefix : {"postgresql://", "postgres://"})
        if (text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix))
            return prefix.size();
    return 0;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Where the passwords are written in a connection string, and what they read as.
struct Secret
{
    std::size_t begin;
    std::size_t end;
    std::string value;
};

// A URI: user:password@ before the host, and password=... among the parameters.
void uriSecrets(std::string_view s, std::size_t start, std::vector<Secret>& out)
{
    std::size_t p = start;
    while (p < s.size() && s[p] != '@' && s[p] != '/')
        ++p;
    std::size_t hostStart = start;
    if (p < s.size() && s[p] == '@') {
        const std::size_t colon = s.find(':', start);
        if (colon < p && colon + 1 < p)
            out.push_back({colon + 1, p, percentDecoded(s.substr(colon + 1, p - colon - 1))});
        hostStart = p + 1;
    }
    const std::size_t query = s.find('?', hostStart);
    if (query == std::string_view::npos)
        return;
    for (std::size_t q = query + 1; q <= s.size();) {
        std::size_t amp = s.find('&', q);
        if (amp == std::string_view::npos)
            amp = s.size();
        const std::size_t eq = s.find('=', q);
        if (eq < amp && percentDecoded(s.substr(q, eq - q)) == "password" && eq + 1 < amp)
            out.push_back({eq + 1, amp, percentDecoded(s.substr(eq + 1, amp - eq - 1))});
        q = amp + 1;
    }
}

// keyword = value pairs, read as libpq reads them: blanks around "=", a value is a word or
// quoted with single quotes, and a backslash takes the next character as it is.
void pairSecrets(std::string_view s, std::vector<Secret>& out)
{
    std::size_t p = 0;
    while (p < s.size()) {
        while (p < s.size() && isSpace(s[p]))
            ++p;
        if (p >= s.size())
            break;
        const std::size_t nameStart = p;
        while (p < s.size() && s[p] != '=' && !isSpace(s[p]))
            ++p;
        const std::string_view name = s.substr(nameStart, p - nameStart);
        while (p < s.size() && isSpace(s[p]))
            ++p;
        if (p >= s.size() || s[p] != '=')
            return; // not a pair: libpq refuses the rest
        ++p;
        while (p < s.size() && isSpace(s[p]))
            ++p;
        const std::size_t valueStart = p;
        std::string value;
        const bool quoted = p < s.size() && s[p] == '\'';
        if (quoted)
            ++p;
        while (p < s.size()) {
            if (quoted && s[p] == '\'') {
                ++p;
                break;
            }
            if (!quoted && isSpace(s[p]))
                break;
            if (s[p] == '\\' && p + 1 < s.size())
                ++p;
            value += s[p++];
        }
        if (EqualsNoCase(name, "password") && p > valueStart)
            out.push_back({valueStart, p, value});
    }
}

std::vector<Secret> secretsOf(std::string_view conninfo)
{
    std::vector<Secret> secrets;
    if (const std::size_t prefix = uriPrefixLength(conninfo))
        uriSecrets(conninfo, prefix, secrets);
    else
        pairSecrets(conninfo, secrets);
    return secrets;
}

void replaceAll(std::string& text, std::string_view what, std::string_view with)
{
    if (what.empty())
        return;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

} // namespace

bool IsConnectionString(std::string_view text)
{
    std::size_t p = 0;
    while (p < text.size() && isSpace(text[p]))
        ++p;
    text.remove_prefix(p);
    if (uriPrefixLength(text))
        return true;
    std::size_t n = 0;
    while (n < text.size() && (std::isalpha(static_cast<unsigned char>(text[n])) || text[n] == '_'))
        ++n;
    while (n > 0 && n < text.size() && isSpace(text[n]))
        ++n;
    return n > 0 && n < text.size() && text[n] == '=';
}

std::string MaskPassword(std::string_view conninfo)
{
    std::string out(conninfo);
    const auto secrets = secretsOf(conninfo);
    for (auto it = secrets.rbegin(); it != secrets.rend(); ++it)
        out.replace(it->begin, it->end - it->begin, kMask);
    return out;
}

std::string KeepPassword(std::string_view edited, std::string_view stored)
{
    std::string out(edited);
    const auto mine = secretsOf(edited);
    const auto before = secretsOf(stored);
    for (std::size_t i = std::min(mine.size(), before.size()); i-- > 0;)
        if (edited.substr(mine[i].begin, mine[i].end - mine[i].begin) == kMask)
            out.replace(mine[i].begin, mine[i].end - mine[i].begin,
                stored.substr(before[i].begin, before[i].end - before[i].begin));
    return out;
}

std::string WithPassword(std::string_view conninfo, std::string_view password)
{
    const bool uri = uriPrefixLength(conninfo) > 0;
    std::string written;
    if (uri) {
        for (const unsigned char c : password) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
                written += static_cast<char>(c);
            } else {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", c);
                written += hex;
            }
        }
    } else {
        written = "'";
        for (const char c : password)
            written += c == '\\' || c == '\'' ? std::string("\\") + c : std::string(1, c);
        written += "'";
    }
    std::string out(conninfo);
    const auto secrets = secretsOf(conninfo);
    for (auto it = secrets.rbegin(); it != secrets.rend(); ++it)
        out.replace(it->begin, it->end - it->begin, written);
    if (!secrets.empty())
        return out;
    if (uri)
        return out + (out.find('?') == std::string::npos ? "?" : "&") + "password=" + written;
    return out + (Trim(out).empty() ? "" : " ") + "password=" + written;
}

std::string MaskPasswordIn(std::string_view text, std::string_view conninfo)
{
    std::string out(text);
    replaceAll(out, conninfo, MaskPassword(conninfo));
    for (const Secret& secret : secretsOf(conninfo)) {
        replaceAll(out, conninfo.substr(secret.begin, secret.end - secret.begin), kMask);
        replaceAll(out, secret.value, kMask);
    }
    return out;
}

std::string TestConnection(Clock& clock, EventPump& pump, const std::string& conninfo)
{
    if (Trim(conninfo).empty())
        return "No connection string is given.";
    db test(clock, pump);
    test.setFilename(conninfo);
    if (test.OpenDatabase(mode::kReadWriteShared)) {
        test.CloseDatabase();
        return "";
    }
    // The words after the codes say what went wrong.
    const std::string& error = test.LastError();
    const std::size_t words = error.find(" - ");
    return MaskPasswordIn(
        "Could not connect: " + (words == std::string::npos ? error : error.substr(words + 3)), conninfo);
}

} // namespace vesk::store
