#pragma once

#include <cstdio>
#include <string>

namespace vesk {

// Writes a simple HTML document line by line, four blanks of indent per nesting level.
// Lines end in CR LF; text is written in the single-byte Windows-1252 code page the head declares.
class CHTML
{
public:
    CHTML() = default;
    ~CHTML();
    CHTML(const CHTML&) = delete;
    CHTML& operator=(const CHTML&) = delete;

    bool OpenFile(const std::string& path);
    void CloseFile();
    void SetQuote(const std::string& quote) { m_quote = quote; }
    std::string HTMLBodyStart() const { return "<BODY>"; }
    std::string HTMLBodyEnd() const { return "</BODY>"; }
    void Title(const std::string& text);
    void TableBegin(const std::string& attributes);
    void TableEnd();
    void RowBegin(const std::string& attributes);
    void RowEnd();
    // Unlike the other writers this one reports a write without an open file, by throwing.
    void ColumnHeader(const std::string& text, const std::string& align, const std::string& width);
    void Cell(const std::string& text, const std::string& align, const std::string& valign,
        const std::string& width);
    void Text(const std::string& text);
    void LineBreak();
    void ParagraphBegin();
    void Paragraph(const std::string& text);
    void ParagraphEnd();
    void Raw(const std::string& text);
    void StepIn() { ++m_indent; }
    void StepOut() { --m_indent; }

private:
    bool writeLine(const std::string& line, bool indented);
    std::string attributes(const std::string& attrs) const;

    std::FILE* m_file = nullptr;
    std::string m_quote = "'";
    int m_indent = 0;
};

} // namespace vesk
