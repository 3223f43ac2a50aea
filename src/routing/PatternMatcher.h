#pragma once

#include <string>

namespace vesk::routing {

// Tests text against a user-written pattern: a regular expression searched anywhere in the text,
// letters compared without regard to case, first match only. One matcher per task.
// Without the regular-expression engine it falls back to a whole-text wildcard comparison.
class PatternMatcher
{
public:
    enum class Engine { Regex, None };

    explicit PatternMatcher(Engine engine = Engine::Regex)
        : m_engine(engine)
    {
    }

    bool IsRegEx() const { return m_engine == Engine::Regex; }
    // False for a pattern that does not compile, and for one too costly to finish.
    bool Test(const std::string& pattern, const std::string& text) const;
    bool IsInternationalPhone(const std::string& text) const;
    // "'bb' at index 1" for the first match; "" for none.
    std::string TestDebug(const std::string& pattern, const std::string& text) const;

    // The engine's name and version, for the tester window.
    static std::string EngineVersion();

private:
    Engine m_engine;
};

// The wildcard comparison: * any run, ? any one character, # one digit, [list], [!list];
// case-sensitive, and the pattern must cover the whole text.
bool WildcardMatch(const std::string& pattern, const std::string& text);

} // namespace vesk::routing
