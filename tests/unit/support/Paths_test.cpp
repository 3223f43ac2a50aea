#include "support/Paths.h"
#include "support/Platform.h"

#include "TempDir.h"

#include <gtest/gtest.h>

using namespace vesk;

TEST(Paths, TrailingSeparatorAndFolderOfPath)
{
    EXPECT_EQ(TrailingSeparator(" /data/sms "), "/data/sms/");
    EXPECT_EQ(TrailingSeparator("/data/sms/ "), "/data/sms/");
    EXPECT_EQ(TrailingSeparator(""), "/");
    EXPECT_EQ(FolderOfPath("/data/sms/SMSMessages.mdb"), "/data/sms");
    EXPECT_EQ(FolderOfPath("SMSMessages.mdb"), "");
}

TEST(Paths, CreatesMissingLevelsFromTheTop)
{
    vesk::testing::TempDir dir;
    const std::string deep = dir.folder() + "one/two/three";
    ASSERT_TRUE(CreateFolderPath(dir.folder() + "one"));
    EXPECT_FALSE(FolderExists(deep));
    EXPECT_TRUE(CreateFolderPath(deep));
    EXPECT_TRUE(FolderExists(deep));
    EXPECT_TRUE(FolderExists(deep + "/"));

    vesk::testing::WriteFile(dir.file("plain"), "x");
    EXPECT_FALSE(CreateFolderPath(dir.file("plain") + "/below")); // a file stands in the way
    EXPECT_FALSE(FolderExists(dir.file("plain")));
    EXPECT_TRUE(FileExists(dir.file("plain")));
}

TEST(Platform, SecondInstanceWithTheSameSettingsIsRefused)
{
    vesk::testing::TempDir dir;
    SingleInstanceLock first(dir.file("a.conf"));
    ASSERT_TRUE(first.acquired());
    {
        SingleInstanceLock second(dir.file("a.conf"));
        EXPECT_FALSE(second.acquired());
        SingleInstanceLock other(dir.file("b.conf")); // a second modem on the same machine
        EXPECT_TRUE(other.acquired());
    }
}
