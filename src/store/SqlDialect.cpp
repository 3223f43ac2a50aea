#include "store/SqlDialect.h"

#include "store/SqlText.h"
#include "support/Convert.h"

#include <algorithm>
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

bool isPlainName(std::string_view name)
{
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())))
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    return true;
}

// PostgreSQL folds unquoted names to lower case; a [name] is written the same way, so that it
// resolves to the same column as the name without brackets.
std::string pgName(std::string_view name)
{
    std::string lower;
    for (const char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return isPlainName(lower) ? lower : quoteIdentifier(lower);
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

std::string_view IdentityColumn(std::string_view table)
{
    struct Key
    {
        std::string_view table, column;
    };
    static constexpr Key kKeys[]
        = {{"Message", "msgID"}, {"Inbox", "inbID"}, {"Forward", "fwdID"}, {"MailMessage", "mlID"},
            {"Contact", "cntID"}, {"ContactGroup", "grpID"}, {"UserFields", "ufID"}, {"MessageTail", "mtID"}};
    for (const Key& k : kKeys)
        if (EqualsNoCase(k.table, table))
            return k.column;
    return {};
}

TranslatedSql TranslateSql(std::string_view statement, EngineKind engine)
{
    const bool pg = engine == EngineKind::Postgres;
    std::vector<Token> t = lex(statement);
    TranslatedSql result;
    std::string limit;
    int marks = 0;
    std::size_t forUpdate = std::string::npos; // where a row-locking clause begins
    std::string insertTable;

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
            tok.text = pg ? pgName(inner) : quoteIdentifier(inner);
            break;
        }
        case Kind::Other:
            if (pg && tok.text == "?")
                tok.text = "$" + std::to_string(++marks);
            break;
        case Kind::Text:
            tok.text = asSingleQuoted(tok.text);
            break;
        case Kind::Word:
            if (pg && (EqualsNoCase(tok.text, "TRUE") || EqualsNoCase(tok.text, "FALSE"))) {
                tok.text = EqualsNoCase(tok.text, "TRUE") ? "TRUE" : "FALSE";
            } else if (EqualsNoCase(tok.text, "TRUE")) {
                tok.text = std::string(1, '1');
            } else if (EqualsNoCase(tok.text, "FALSE")) {
                tok.text = std::string(1, '0');
            } else if (pg && EqualsNoCase(tok.text, "@@IDENTITY")) {
                result.identityMark = -1; // numbered after the other marks
            } else if (EqualsNoCase(tok.text, "@@IDENTITY")) {
                tok.text = std::string("last_insert_rowid()");
            } else if (pg && isWord(tok, "FOR") && forUpdate == std::string::npos) {
                const std::size_t k = nextSolid(t, i + 1);
                if (k < t.size() && (isWord(t[k], "UPDATE") || isWord(t[k], "SHARE")))
                    forUpdate = i;
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
                if (name < t.size() && t[name].kind == Kind::Word && insertTable.empty())
                    insertTable = t[name].text;
                if (file < t.size() && isWord(t[in], "IN") && t[file].kind == Kind::Text
                    && (t[name].kind == Kind::Word || t[name].kind == Kind::Bracket)) {
                    const std::string& raw = t[file].text;
                    result.attachFile
                        = raw.front() == '"' ? unquoteSingle(asSingleQuoted(raw)) : unquoteSingle(raw);
                    const std::string bare = t[name].kind == Kind::Word
                        ? t[name].text
                        : t[name].text.substr(1, t[name].text.size() - 2);
                    // On PostgreSQL the other database is a schema of the same one.
                    t[name].text = pg ? pgName(result.attachFile) + "." + pgName(bare)
                                      : std::string(kAttachedSchema) + "." + quoteIdentifier(bare);
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

    if (result.identityMark < 0) {
        result.identityMark = marks + 1;
        for (auto& tok : t)
            if (tok.kind == Kind::Word && EqualsNoCase(tok.text, "@@IDENTITY"))
                tok.text = "CAST($" + std::to_string(result.identityMark) + " AS bigint)";
    }
    std::string out;
    std::string tail;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (!drop[i])
            (i >= forUpdate ? tail : out) += t[i].text;
    const auto trimEnd = [](std::string& s) {
        while (!s.empty() && (std::isspace(static_cast<unsigned char>(s.back())) || s.back() == ';'))
            s.pop_back();
    };
    if (!limit.empty()) {
        trimEnd(out);
        out += " LIMIT " + limit;
    }
    if (!tail.empty())
        out += (limit.empty() ? "" : " ") + tail;
    const std::size_t first = nextSolid(t, 0);
    const std::string_view key = IdentityColumn(insertTable);
    const bool returning
        = std::any_of(t.begin(), t.end(), [](const Token& k) { return isWord(k, "RETURNING"); });
    if (pg && first < t.size() && isWord(t[first], "INSERT") && !key.empty() && result.attachFile.empty()
        && !returning) {
        trimEnd(out);
        out += " RETURNING " + pgName(key);
    }
    result.sql = std::move(out);
    return result;
}

} // namespace vesk::store
