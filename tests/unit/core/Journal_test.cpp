// The journal that holds units taken out of a full modem while the outbox is out of reach: what
// goes in comes out whole, in order, once; a crash mid-write loses nothing that was synced.
#include "core/Journal.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using vesk::DateTime;
using vesk::core::ModemJournal;
using vesk::modem::GSMMessage;

namespace {

GSMMessage inbound(const std::string& from, const std::string& text)
{
    GSMMessage m;
    m.Address = from;
    m.Text = text;
    m.Time = DateTime::fromParts(2026, 10, 25, 1, 59, 58);
    return m;
}

} // namespace

TEST(ModemJournal, UnitsComeBackWholeInOrderAndOnce)
{
    vesk::testing::TempDir dir;
    ModemJournal journal(dir.file("modem-journal"));
    GSMMessage report;
    report.MessageType = 1;
    report.Address = "+447700900123";
    report.id = 255;
    report.DeliveryStatus = 0x41;
    report.DeliveryTime = DateTime::fromParts(2026, 2, 28, 23, 59, 59);
    const GSMMessage units[] = {
        inbound("+447700900001", "two words\r\nand a line % with 'quotes' and \"more\""),
        inbound("Bank", ""),
        inbound("+447700900002", "caf\xC3\xA9 \xE2\x82\xAC\t%41"),
        report,
    };
    std::string error;
    for (const auto& u : units)
        ASSERT_TRUE(journal.Append(u, error)) << error;
    EXPECT_EQ(journal.Waiting(), 4);
    struct stat st
    {
    };
    ASSERT_EQ(stat(dir.file("modem-journal").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0007, 0u) << "the journal holds messages: private";

    // A console that starts afresh finds them all, in the order they were written.
    ModemJournal reopened(dir.file("modem-journal"));
    auto pending = reopened.Pending(error);
    ASSERT_EQ(pending.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const GSMMessage& got = pending[i].unit;
        EXPECT_EQ(got.MessageType, units[i].MessageType);
        EXPECT_EQ(got.Address, units[i].Address);
        EXPECT_EQ(got.Text, units[i].Text);
        EXPECT_EQ(got.Time, units[i].Time);
        EXPECT_EQ(got.id, units[i].id);
        EXPECT_EQ(got.DeliveryStatus, units[i].DeliveryStatus);
        EXPECT_EQ(got.DeliveryTime, units[i].DeliveryTime);
    }

    // Stored ones are not given again; a line cut short by a crash is skipped and said.
    ASSERT_TRUE(reopened.MarkDone(pending[0].seq, error));
    ASSERT_TRUE(reopened.MarkDone(pending[1].seq, error));
    std::ofstream(dir.file("modem-journal"), std::ios::app) << "unit 99 0 0 0 0 12";
    pending = ModemJournal(dir.file("modem-journal")).Pending(error);
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].unit.Text, units[2].Text);
    EXPECT_NE(error.find("1 unreadable line"), std::string::npos) << error;

    // Once every unit is stored the file starts afresh, and new units keep coming out once.
    ModemJournal last(dir.file("modem-journal"));
    for (const auto& e : last.Pending(error))
        ASSERT_TRUE(last.MarkDone(e.seq, error));
    EXPECT_EQ(last.Waiting(), 0);
    EXPECT_EQ(last.Written().size(), 0u);
    std::ofstream(dir.file("modem-journal"), std::ios::app) << "unit 7 0 0";
    ASSERT_TRUE(last.Append(units[0], error));
    pending = last.Pending(error);
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].unit.Text, units[0].Text);
}
