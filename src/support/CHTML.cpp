#include "support/CHTML.h"

#include "support/Convert.h"
#include "support/PrivateFiles.h"

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace vesk {
namespace {

// UTF-8 to Windows-1252: Latin-1 letters pass, the few extra 1252 letters map, the rest become "?".
std::string toCodePage1252(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned cp = c;
        std::size_t len = 1;
        if (c >= 0xC0 && c < 0xE0 && i + 1 < utf8.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            len = 2;
        } else if (c >= 0xE0 && c < 0xF0 && i + 2 < utf8.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6)
                | (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
            len = 3;
        } else if (c >= 0xF0) {
            cp = 0xFFFF;
            len = std::min<std::size_t>(4, utf8.size() - i);
        } else if (c >= 0x80) {
            cp = '?';
        }
        i += len;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
            out += static_cast<char>(cp);
        else if (cp == 0x20AC)
            out += '\x80';
        else if (cp == 0x2018 || cp == 0x2019)
            out += cp == 0x2018 ? '\x91' : '\x92';
        else if (cp == 0x201C || cp == 0x201D)
            out += cp == 0x201C ? '\x93' : '\x94';
        else if (cp == 0x2013 || cp == 0x2014)
            out += cp == 0x2013 ? '\x96' : '\x97';
        else
            out += '?';
    }
    return out;
}

} // namespace

CHTML::~CHTML()
{
    CloseFile();
}

bool CHTML::OpenFile(const std::string& path)
{
    const int fd = OpenPrivateFile(path, O_WRONLY | O_TRUNC);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!f) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_file = f; // an earlier file stays open, as callers are meant to use one file per writer
    const std::string head
        = ReplaceAll("<HEAD><meta http-equiv=^Content-Language^ content=^en-ie^><BR>"
                     "<meta http-equiv=^Content-Type^ content=^text/html; charset=windows-1252^>",
            "^", "\"");
    writeLine(head, false);
    writeLine("</HEAD>", false);
    writeLine("<HTML>", false);
    writeLine("<BODY>", false);
    m_indent = 1;
    return true;
}

void CHTML::CloseFile()
{
    if (!m_file)
        return;
    m_indent = 0;
    writeLine("</BODY>", false);
    writeLine("</HTML>", false);
    std::fclose(m_file);
    m_file = nullptr;
}

bool CHTML::writeLine(const std::string& line, bool indented)
{
    if (!m_file)
        return false;
    std::string out
        = indented && m_indent > 0 ? std::string(static_cast<std::size_t>(m_indent) * 4, ' ') : "";
    out += toCodePage1252(line);
    out += "\r\n";
    return std::fwrite(out.data(), 1, out.size(), m_file) == out.size();
}

std::string CHTML::attributes(const std::string& attrs) const
{
    const std::string a = m_quote.empty() ? attrs : ReplaceAll(attrs, m_quote, "\"");
    return a.empty() ? "" : " " + a;
}

void CHTML::Title(const std::string& text)
{
    writeLine("<TITLE>" + text + "</TITLE>", true);
}

void CHTML::TableBegin(const std::string& attrs)
{
    writeLine("<TABLE" + attributes(attrs) + ">", true);
    StepIn();
}

void CHTML::TableEnd()
{
    StepOut();
    writeLine("</TABLE>", true);
}

void CHTML::RowBegin(const std::string& attrs)
{
    writeLine("<TR" + attributes(attrs) + ">", true);
    StepIn();
}

void CHTML::RowEnd()
{
    StepOut();
    writeLine("</TR>", true);
}

void CHTML::ColumnHeader(const std::string& text, const std::string& align, const std::string& width)
{
    std::string line = "<TH Align = \"" + align + "\"";
    if (!width.empty())
        line += " width=\"" + width + "\"";
    line += ">" + text + "</TH>";
    if (!writeLine(line, true))
        throw std::runtime_error("CHTML: no open file");
}

void CHTML::Cell(
    const std::string& text, const std::string& align, const std::string& valign, const std::string& width)
{
    std::string attrs = "align=\"" + align + "\" valign=\"" + valign + "\"";
    if (!width.empty())
        attrs += " width=\"" + width + "\"";
    writeLine("<TD " + attrs + ">" + (text.empty() ? "&nbsp;" : text) + "</TD>", true);
}

void CHTML::Text(const std::string& text)
{
    writeLine(text, true);
}
void CHTML::LineBreak()
{
    writeLine("<BR>", true);
}
void CHTML::ParagraphBegin()
{
    writeLine("<P>", true);
}
void CHTML::Paragraph(const std::string& text)
{
    writeLine("<P>" + text + "</P>", true);
}
void CHTML::ParagraphEnd()
{
    writeLine("</P>", true);
}
void CHTML::Raw(const std::string& text)
{
    writeLine(text, false);
}

} // namespace vesk
