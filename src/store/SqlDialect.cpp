#include "store/SqlDialect.h"

#include "store/SqlText.h"
#include "support/Convert.h"

#include <cctype>
#include <vector>

namespace vesk::store {

namespace {

enum class Kind { Word, Number, Text, Date, Bracket, Space, Other };

struct Token
{
    Kind kind;
    std::string text;
};

bool isWordChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == '@' || u >= 0x80;
}

// Splits a statement into tokens; quoted text, #dates# and [names] each stay one token.
std::vector<Token> lex(std::string_view s)
{
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\'' || c == '"') {
            std::size_t j = i + 1;
            while (j < s.size()) {
                if (s[j] == c) {
                    if (j + 1 < s.size() && s[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const std::size_t end = j < s.size() ? j + 1 : s.size();
            out.push_back({Kind::Text, std::string(s.substr(i, end - i))});
            i = end;
        } else if (c == '#') {
            const std::size_t j = s.find('#', i + 1);
            if (j == std::string_view::npos) {
                out.push_back({Kind::Other, std::string(s.substr(i))});
                break;
            }
            out.push_back({Kind::Date, std::string(s.substr(i, j + 1 - i))});
            i = j + 1;
        } else if (c == '[') {
            const std::size_t j = s.find(']', i + 1);
            const std::size_t end = j == std::string_view::npos ? s.size() : j + 1;
            out.push_back({Kind::Bracket, std::string(s.substr(i, end - i))});
            i = end;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            std::size_t j = i;
            while (j < s.size() && std::isspace(static_cast<unsigned char>(s[j])))
                ++j;
            out.push_back({Kind::Space, std::string(s.substr(i, j - i))});
            i = j;
        } else if (isWordChar(c)) {
            std::size_t j = i;
            while (j < s.size() && isWordChar(s[j]))
                ++j;
            const bool number = std::isdigit(static_cast<unsigned char>(c));
            out.push_back({number ? Kind::Number : Kind::Word, std::string(s.substr(i, j - i))});
            i = j;
        } else {
            out.push_back({Kind::Other, std::string(1, c)});
            ++i;
        }
    }
    return out;
}

bool isWord(const Token& t, std::string_view w)
{
    return t.kind == Kind::Word && EqualsNoCase(t.text, w);
}

// Index of the next token that is not blank, or the size when there is none.
std::size_t nextSolid(const std::vector<Token>& t, std::size_t i)
{
    while (i < t.size() && t[i].kind == Kind::Space)
        ++i;
    return i;
}

std::string quoteIdentifier(std::string_view name)
{
    return Enclosed("\"", ReplaceAll(std::string(name), "\"", "\"\""));
}

// A double-quoted text is a string in the dialect but a name in SQLite.
std::string asSingleQuoted(const std::string& token)
{
    if (token.empty() || token.front() != '"')
        return token;
    std::string inner
        = token.substr(1, token.size() >= 2 && token.back() == '"' ? token.size() - 2 : token.size() - 1);
    inner = ReplaceAll(inner, "\"\"", "\"");
    return Enclosed("'", ReplaceAll(inner, "'", "''"));
}

std::string unquoteSingle(const std::string& token)
{
    std::string inner
        = token.substr(1, token.size() >= 2 && token.back() == '\'' ? token.size() - 2 : token.size() - 1);
    return ReplaceAll(inner, "''", "'");
}

} // namespace

std::string StoredDateText(DateTime t)
{
    return Format(t, "yyyy-mm-dd hh:nn:ss");
}

TranslatedSql TranslateSql(std::string_view statement)
{
    std::vector<Token> t = lex(statement);
    TranslatedSql result;
    std::string limit;

    // The table an UPDATE writes to: SQLite takes no "Table." in front of its columns.
    std::string updateTable;
    if (std::size_t first = nextSolid(t, 0); first < t.size() && isWord(t[first], "UPDATE")) {
        const std::size_t name = nextSolid(t, first + 1);
        if (name < t.size() && t[name].kind == Kind::Word)
            updateTable = t[name].text;
    }

    std::vector<bool> drop(t.size(), false);
    for (std::size_t i = 0; i < t.size(); ++i) {
        Token& tok = t[i];
        switch (tok.kind) {
        case Kind::Date: {
            const auto when = ParseDateTime(std::string_view(tok.text).substr(1, tok.text.size() - 2));
            if (when)
                tok.text = Enclosed("'", StoredDateText(*when));
            break;
        }
        case Kind::Bracket: {
            std::string inner
                = tok.text.substr(1, tok.text.back() == ']' ? tok.text.size() - 2 : tok.text.size() - 1);
            tok.text = quoteIdentifier(inner);
            break;
        }
        case Kind::Text:
            tok.text = asSingleQuoted(tok.text);
            break;
        case Kind::Word:
            if (EqualsNoCase(tok.text, "TRUE")) {
                tok.text = std::string(1, '1');
            } else if (EqualsNoCase(tok.text, "FALSE")) {
                tok.text = std::string(1, '0');
            } else if (EqualsNoCase(tok.text, "@@IDENTITY")) {
                tok.text = std::string("last_insert_rowid()");
            } else if (isWord(tok, "SELECT")) {
                std::size_t k = nextSolid(t, i + 1);
                if (k < t.size() && (isWord(t[k], "DISTINCT") || isWord(t[k], "ALL")))
                    k = nextSolid(t, k + 1);
                if (k < t.size() && isWord(t[k], "TOP")) {
                    const std::size_t n = nextSolid(t, k + 1);
                    if (n < t.size() && t[n].kind == Kind::Number && limit.empty()) {
                        limit = t[n].text;
                        for (std::size_t d = k; d <= n; ++d)
                            drop[d] = true;
                        // Also the blank after the number.
                        if (n + 1 < t.size() && t[n + 1].kind == Kind::Space)
                            drop[n + 1] = true;
                    }
                }
            } else if (isWord(tok, "DELETE")) {
                const std::size_t k = nextSolid(t, i + 1);
                if (k < t.size() && t[k].kind == Kind::Other && t[k].text == "*") {
                    drop[k] = true;
                    if (k + 1 < t.size() && t[k + 1].kind == Kind::Space)
                        drop[k + 1] = true;
                }
            } else if (isWord(tok, "INTO")) {
                // INTO name IN 'file'
                const std::size_t name = nextSolid(t, i + 1);
                const std::size_t in = name < t.size() ? nextSolid(t, name + 1) : t.size();
                const std::size_t file = in < t.size() ? nextSolid(t, in + 1) : t.size();
                if (file < t.size() && isWord(t[in], "IN") && t[file].kind == Kind::Text
                    && (t[name].kind == Kind::Word || t[name].kind == Kind::Bracket)) {
                    const std::string& raw = t[file].text;
                    result.attachFile
                        = raw.front() == '"' ? unquoteSingle(asSingleQuoted(raw)) : unquoteSingle(raw);
                    const std::string table = t[name].kind == Kind::Word
                        ? quoteIdentifier(t[name].text)
                        : quoteIdentifier(t[name].text.substr(1, t[name].text.size() - 2));
                    t[name].text = std::string(kAttachedSchema) + "." + table;
                    t[name].kind = Kind::Other;
                    for (std::size_t d = name + 1; d <= file; ++d)
                        drop[d] = true;
                }
            } else if (!updateTable.empty() && EqualsNoCase(tok.text, updateTable) && i + 2 < t.size()
                && t[i + 1].kind == Kind::Other && t[i + 1].text == "."
                && (t[i + 2].kind == Kind::Word || t[i + 2].kind == Kind::Bracket)) {
                drop[i] = true;
                drop[i + 1] = true;
            }
            break;
        default:
            break;
        }
    }

    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (!drop[i])
            out += t[i].text;
    if (!limit.empty()) {
        while (!out.empty() && (std::isspace(static_cast<unsigned char>(out.back())) || out.back() == ';'))
            out.pop_back();
        out += " LIMIT " + limit;
    }
    result.sql = std::move(out);
    return result;
}

} // namespace vesk::store
