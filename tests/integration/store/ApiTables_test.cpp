// What the HTTP API keeps beside a message: written with it, read back with it, and removed with it
// when housekeeping removes the message.
#include "StoreFixture.h"

#include "store/ApiMessages.h"

using namespace vesk;
using vesk::testing::EngineStoreTest;

using ApiTablesTest = EngineStoreTest;

TEST_P(ApiTablesTest, RemovedMessageTakesItsApiRowAlong)
{
    std::vector<RowId> ids;
    ASSERT_TRUE(h().BeginTransaction());
    ASSERT_TRUE(store::QueueApiMessages(h(),
        {{"Ann", "+447700900001", "one", clock.now(), {}, "ref-1"},
            {"Bob", "+447700900002", "two", clock.now(), {}, ""}},
        "HOST\\USER", "shop", 1900000000, ids));
    ASSERT_TRUE(h().CommitTransaction());
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ApiMessage"), 2);
    // What a console reads of them: pending rows like any other.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM qry_Pending_Messages"), 2);
    EXPECT_EQ(load(static_cast<std::int32_t>(ids[0])).Text, "one");

    ASSERT_TRUE(h().Execute("DELETE FROM Message WHERE msgID = " + std::to_string(ids[0])));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ApiMessage"), 1);
    std::optional<store::MessageRecord> left;
    ASSERT_TRUE(store::LoadMessageRecord(h(), ids[1], left));
    ASSERT_TRUE(left);
    EXPECT_EQ(left->keyName, "shop");
    EXPECT_EQ(left->created, 1900000000);
}

VESK_ON_BOTH_ENGINES(ApiTablesTest);
