#include "routing/PatternMatcher.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <optional>

namespace vesk::routing {
namespace {

// A user pattern that backtracks without end gives up here and counts as no match.
constexpr uint32_t kMatchLimit = 200000;
constexpr uint32_t kDepthLimit = 5000;

struct CodeDeleter
{
    void operator()(pcre2_code* c) const { pcre2_code_free(c); }
};
struct MatchDataDeleter
{
    void operator()(pcre2_match_data* m) const { pcre2_match_data_free(m); }
};
struct ContextDeleter
{
    void operator()(pcre2_match_context* m) const { pcre2_match_context_free(m); }
};

struct Match
{
    std::size_t start;
    std::size_t end;
};

// The first match of the pattern in the text, if any; nullopt also for a bad pattern.
std::optional<Match> firstMatch(const std::string& pattern, const std::string& text)
{
    int error = 0;
    PCRE2_SIZE offset = 0;
    std::unique_ptr<pcre2_code, CodeDeleter> code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()),
        pattern.size(), PCRE2_CASELESS | PCRE2_UTF | PCRE2_MATCH_INVALID_UTF, &error, &offset, nullptr));
    if (!code)
        return std::nullopt;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr));
    std::unique_ptr<pcre2_match_context, ContextDeleter> context(pcre2_match_context_create(nullptr));
    if (!data || !context)
        return std::nullopt;
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_set_depth_limit(context.get(), kDepthLimit);
    const int rc = pcre2_match(
        code.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, data.get(), context.get());
    if (rc < 0)
        return std::nullopt; // no match, limit reached, or any other engine error
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
    return Match {ov[0], ov[1]};
}

std::size_t characterIndex(const std::string& text, std::size_t byteOffset)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < byteOffset && i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            ++count;
    return count;
}

bool wildcardAt(const std::string& p, std::size_t pi, const std::string& t, std::size_t ti)
{
    while (pi < p.size()) {
        const char c = p[pi];
        if (c == '*') {
            while (pi < p.size() && p[pi] == '*')
                ++pi;
            if (pi == p.size())
                return true;
            for (std::size_t k = ti; k <= t.size(); ++k)
                if (wildcardAt(p, pi, t, k))
                    return true;
            return false;
        }
        if (ti >= t.size())
            return false;
        const char ch = t[ti];
        if (c == '?') {
            ++pi;
        } else if (c == '#') {
            if (ch < '0' || ch > '9')
                return false;
            ++pi;
        } else if (c == '[') {
            const std::size_t close = p.find(']', pi + 1);
            if (close == std::string::npos)
                return false; // an unclosed list never matches
            std::size_t k = pi + 1;
            const bool negate = k < close && p[k] == '!';
            if (negate)
                ++k;
            bool found = false;
            for (; k < close; ++k) {
                if (k + 2 < close && p[k + 1] == '-') {
                    found = found || (ch >= p[k] && ch <= p[k + 2]);
                    k += 2;
                } else {
                    found = found || ch == p[k];
                }
            }
            if (found == negate)
                return false;
            pi = close + 1;
        } else {
            if (c != ch)
                return false;
            ++pi;
        }
        ++ti;
    }
    return ti == t.size();
}

} // namespace

bool WildcardMatch(const std::string& pattern, const std::string& text)
{
    return wildcardAt(pattern, 0, text, 0);
}

bool PatternMatcher::Test(const std::string& pattern, const std::string& text) const
{
    if (m_engine == Engine::None)
        return WildcardMatch(pattern, text);
    return firstMatch(pattern, text).has_value();
}

bool PatternMatcher::IsInternationalPhone(const std::string& text) const
{
    if (m_engine == Engine::None)
        return WildcardMatch("+[0-9]*", text);
    return firstMatch("^\\+[0-9]{5,30}$", text).has_value();
}

std::string PatternMatcher::TestDebug(const std::string& pattern, const std::string& text) const
{
    if (m_engine == Engine::None)
        return {};
    const auto m = firstMatch(pattern, text);
    if (!m)
        return {};
    return "'" + text.substr(m->start, m->end - m->start) + "' at index "
        + std::to_string(characterIndex(text, m->start));
}

std::string PatternMatcher::EngineVersion()
{
    char buf[64] = {};
    pcre2_config(PCRE2_CONFIG_VERSION, buf);
    return std::string("PCRE2 ") + buf;
}

} // namespace vesk::routing
