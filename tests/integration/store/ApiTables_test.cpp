// What the HTTP API keeps beside a message: written with it, read back with it, and removed with it
// when housekeeping removes the message.
#include "StoreFixture.h"

#include "store/ApiMessages.h"

#include <algorithm>

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

// A request's rows go in whole or not at all. On a server the rows of one client reference are
// one statement that needs no transaction around it: a side row that cannot be written takes its
// message row back with it.
TEST_P(ApiTablesTest, OneRequestsRowsAreKeptWholeOrNotAtAll)
{
    const auto to = [&](int n, const std::string& ref) {
        std::vector<store::NewMessage> m;
        for (int i = 0; i < n; ++i)
            m.push_back({"", "+4477009000" + std::to_string(10 + i), "rota", clock.now(), {}, ref});
        return m;
    };
    const auto queue = [&](const std::vector<store::NewMessage>& m, std::vector<RowId>& ids) {
        if (store::QueuesInOneStatement(h(), m))
            return store::QueueApiMessages(h(), m, "HOST", "shop", 1900000000, ids);
        EXPECT_TRUE(h().BeginTransaction());
        if (store::QueueApiMessages(h(), m, "HOST", "shop", 1900000000, ids))
            return h().CommitTransaction();
        h().RollbackTransaction();
        return false;
    };
    EXPECT_EQ(store::QueuesInOneStatement(h(), to(1000, "r")), onServer());
    EXPECT_FALSE(store::QueuesInOneStatement(h(), to(1001, "r"))) << "over one statement's rows";
    auto mixed = to(2, "a");
    mixed[1].clientRef = "b";
    EXPECT_FALSE(store::QueuesInOneStatement(h(), mixed));

    std::vector<RowId> ids;
    ASSERT_TRUE(queue(to(3, "order-7"), ids));
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        std::optional<store::MessageRecord> r;
        ASSERT_TRUE(store::LoadMessageRecord(h(), ids[i], r));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->address, "+4477009000" + std::to_string(10 + i)) << "ids in the order of the messages";
        EXPECT_EQ(r->clientRef, "order-7");
        EXPECT_EQ(r->keyName, "shop");
    }
    ASSERT_TRUE(queue(mixed, ids));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ApiMessage WHERE amClientRef = 'b'"), 1);

    // The side row of the second of the next three messages is taken already.
    const auto taken = ids.back() + 2;
    ASSERT_TRUE(h().Execute("INSERT INTO ApiMessage (amMsgID, amKeyName, amCreated) VALUES ("
        + std::to_string(taken) + ", 'other', 1)"));
    const auto before = scalar("SELECT COUNT(*) FROM Message");
    std::vector<RowId> none;
    EXPECT_FALSE(queue(to(3, "order-8"), none));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Message"), before);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ApiMessage WHERE amClientRef = 'order-8'"), 0);
}

VESK_ON_BOTH_ENGINES(ApiTablesTest);
