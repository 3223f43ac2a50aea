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

TEST(CHTML, NestedTableIsIndentedFourBlanksALevelAndTextWrittenInTheDeclaredCodePage)
{
    vesk::testing::TempDir dir;
    {
        CHTML html;
        ASSERT_TRUE(html.OpenFile(dir.file("t.html")));
        html.Raw("caf\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD"); // café € and a character 1252 lacks
        html.TableBegin("");
        html.RowBegin("");
        html.Cell("", "left", "top", "");
        html.RowEnd();
        html.TableEnd();
        html.CloseFile();
    }
    EXPECT_EQ(vesk::testing::ReadFile(dir.file("t.html")),
        kStart
            + "caf\xE9 \x80 ?\r\n"
              "    <TABLE>\r\n"
              "        <TR>\r\n"
              "            <TD align=\"left\" valign=\"top\">&nbsp;</TD>\r\n"
              "        </TR>\r\n"
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
