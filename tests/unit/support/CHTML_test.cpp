#include "support/CHTML.h"

#include "TempDir.h"

#include <gtest/gtest.h>

using namespace vesk;

namespace {

const std::string kStart
    = "<HEAD><meta http-equiv=\"Content-Language\" content=\"en-ie\"><BR>"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
      "</HEAD>\r\n<HTML>\r\n<BODY>\r\n";

} // namespace

TEST(CHTML, NestedTableIsIndentedFourBlanksALevel)
{
    vesk::testing::TempDir dir;
    {
        CHTML html;
        ASSERT_TRUE(html.OpenFile(dir.file("t.html")));
        html.TableBegin("");
        html.RowBegin("");
        html.Cell("", "left", "top", "");
        html.RowEnd();
        html.TableEnd();
        html.CloseFile();
    }
    EXPECT_EQ(vesk::testing::ReadFile(dir.file("t.html")),
        kStart
            + "    <TABLE>\r\n"
              "        <TR>\r\n"
              "            <TD align=\"left\" valign=\"top\">&nbsp;</TD>\r\n"
              "        </TR>\r\n"
              "    </TABLE>\r\n"
              "</BODY>\r\n</HTML>\r\n");
}

TEST(CHTML, EveryWriterProducesItsLine)
{
    vesk::testing::TempDir dir;
    CHTML html;
    ASSERT_TRUE(html.OpenFile(dir.file("t.html")));
    html.Title("Report");
    html.TableBegin("border='1' width='100%'");
    html.RowBegin("bgcolor='#c0c0c0'");
    html.ColumnHeader("Number", "left", "");
    html.ColumnHeader("Text", "center", "80%");
    html.RowEnd();
    html.RowBegin("");
    html.Cell("+15550123", "right", "middle", "20%");
    html.RowEnd();
    html.TableEnd();
    html.Paragraph("Done");
    html.ParagraphBegin();
    html.Text("line");
    html.LineBreak();
    html.ParagraphEnd();
    html.Raw("<!-- raw -->");
    html.SetQuote("`");
    html.TableBegin("class=`x` title='kept'");
    html.TableEnd();
    html.CloseFile();
    html.CloseFile(); // a second close writes nothing

    EXPECT_EQ(vesk::testing::ReadFile(dir.file("t.html")),
        kStart
            + "    <TITLE>Report</TITLE>\r\n"
              "    <TABLE border=\"1\" width=\"100%\">\r\n"
              "        <TR bgcolor=\"#c0c0c0\">\r\n"
              "            <TH Align = \"left\">Number</TH>\r\n"
              "            <TH Align = \"center\" width=\"80%\">Text</TH>\r\n"
              "        </TR>\r\n"
              "        <TR>\r\n"
              "            <TD align=\"right\" valign=\"middle\" width=\"20%\">+15550123</TD>\r\n"
              "        </TR>\r\n"
              "    </TABLE>\r\n"
              "    <P>Done</P>\r\n"
              "    <P>\r\n"
              "    line\r\n"
              "    <BR>\r\n"
              "    </P>\r\n"
              "<!-- raw -->\r\n"
              "    <TABLE class=\"x\" title='kept'>\r\n"
              "    </TABLE>\r\n"
              "</BODY>\r\n</HTML>\r\n");
}

TEST(CHTML, WritingWithoutAFileDoesNothingExceptForHeaders)
{
    CHTML html;
    html.Text("lost");
    html.Cell("a", "left", "top", "");
    html.CloseFile();
    EXPECT_THROW(html.ColumnHeader("x", "left", ""), std::runtime_error);
    vesk::testing::TempDir dir;
    EXPECT_FALSE(html.OpenFile(dir.file("no/such/folder/t.html")));
}

TEST(CHTML, TextIsWrittenInTheDeclaredCodePage)
{
    vesk::testing::TempDir dir;
    {
        CHTML html;
        ASSERT_TRUE(html.OpenFile(dir.file("t.html")));
        html.Raw("caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD"); // café € and a character 1252 lacks
    }
    const std::string out = vesk::testing::ReadFile(dir.file("t.html"));
    EXPECT_NE(out.find("caf\xE9 \x80 ?\r\n"), std::string::npos);
}
