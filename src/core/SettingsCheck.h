#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vesk::core {

// What a strict reading of a settings file found wrong, line by line.
struct SettingsProblem
{
    enum class Kind {
        Syntax, // neither a comment, a [section] nor key=value inside a section
        Value, // a value the key's setting does not take
        Unknown, // a key the console does not read (a warning: it is ignored)
    };
    int line = 0;
    Kind kind = Kind::Syntax;
    std::string text;
};

// Reads the file strictly; false (with the reason in error) when it cannot be read.
bool CheckSettingsFile(const std::string& path, std::vector<SettingsProblem>& problems, std::string& error);

// --check-config: the problems, one a line, "PATH:LINE: text", and a last line with the verdict.
// The exit code: 0 for a good file (unknown keys are only warned of), 1 for a broken one, 2 when
// it cannot be read.
int CheckSettingsCommand(const std::string& path, std::ostream& out);

} // namespace vesk::core
