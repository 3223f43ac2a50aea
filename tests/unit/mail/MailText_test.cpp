#include "mail/Diagnostics.h"
#include "mail/MailQueue.h"

#include <gtest/gtest.h>

using namespace vesk::mail;

TEST(NoReplyNotice, FollowsTheTrimmedBodyAfterOneEmptyLine)
{
    const std::string notice = "+------------------------------+\r\n"
                               "|  DO NOT REPLY TO THIS EMAIL  |\r\n"
                               "+------------------------------+\r\n";
    struct Case
    {
        const char* body;
        std::string expected;
    };
    for (const Case& c :
        {Case {"Hello", "Hello\r\n\r\n" + notice}, Case {"  Hello \r\n\t ", "Hello\r\n\r\n" + notice},
            Case {"", "\r\n\r\n" + notice}, Case {"a\r\n\r\nb", "a\r\n\r\nb\r\n\r\n" + notice}}) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(WithNoReplyNotice(c.body), c.expected);
    }
}

TEST(SignalThreshold, IsKeptBetweenOneAndNinety)
{
    const std::pair<int, int> cases[] = {{-5, 1}, {0, 1}, {1, 1}, {30, 30}, {100, 100}, {101, 90}, {150, 90}};
    for (const auto& [stored, used] : cases) {
        SCOPED_TRACE(stored);
        EXPECT_EQ(ClampSignalThreshold(static_cast<std::int16_t>(stored)), used);
    }
}
