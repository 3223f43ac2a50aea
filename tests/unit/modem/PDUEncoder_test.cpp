#include "modem/PDUEncoder.h"

#include "support/DateTime.h"

#include <gtest/gtest.h>

#include <string>

using vesk::DateTime;
using vesk::modem::PDUEncoder;

TEST(SeptetPacking, PacksHelloWithAndWithoutFillBit)
{
    const PDUEncoder codec;
    EXPECT_EQ(codec.Encode("hello"), "E8329BFD06");
    EXPECT_EQ(codec.Encode7BitFill("hello", 0), "E8329BFD06");
    EXPECT_EQ(codec.Encode7BitFill("hello", 1), "D06536FB0D");
}

TEST(SeptetPacking, OctetCountFollowsSeptetCount)
{
    // n septets take ceil(7n/8) octets; eight septets fill exactly seven.
    const PDUEncoder codec;
    struct Case
    {
        std::string text;
        std::string hex;
    };
    const Case cases[] = {
        {"", ""},
        {"a", "61"},
        {"12345678", "31D98C56B3DD70"},
        {"123456789", "31D98C56B3DD7039"},
        {std::string(1, '\0'), "00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(codec.Encode(c.text), c.hex);
    }
}

TEST(SeptetPacking, KeepsControlAndEscapeCodesAndDropsTopBit)
{
    const PDUEncoder codec;
    // Escape then 64 (the vertical bar) stay as septets 27 and 64.
    EXPECT_EQ(codec.Encode("\x1B@"), "1B20");
    EXPECT_EQ(codec.Decode("1B20", 2), "\x1B@");
    // A code above 127 loses its top bit: 0xE9 packs as 0x69 ("i").
    EXPECT_EQ(codec.Encode("\xE9"), codec.Encode("i"));
}

TEST(SeptetPacking, FillBitsBeyondOneOctetAddZeroOctets)
{
    const PDUEncoder codec;
    EXPECT_EQ(codec.Encode7BitFill("", 1), "00");
    EXPECT_EQ(codec.Encode7BitFill("a", 8), "0061");
    EXPECT_EQ(codec.Encode7BitFill("a", -3), "61");
}

TEST(SeptetPacking, EightBitWidthWritesOneOctetPerCharacterAndOtherWidthsNothing)
{
    PDUEncoder codec;
    codec.setCharWidth(8);
    EXPECT_EQ(codec.Encode("A\x01\xFF"), "4101FF");
    EXPECT_EQ(codec.Decode("E8329BFD06", 5), "");
    codec.setCharWidth(16);
    EXPECT_EQ(codec.Encode("hello"), "");
    EXPECT_EQ(codec.Decode("E8329BFD06", 5), "");
}

TEST(SeptetUnpacking, UnpacksEveryAlignmentBack)
{
    const PDUEncoder codec;
    const std::string alphabet = "The quick brown fox jumps over 13 lazy dogs!?";
    for (std::size_t n = 1; n <= alphabet.size(); ++n) {
        const std::string text = alphabet.substr(0, n);
        SCOPED_TRACE(text);
        EXPECT_EQ(codec.Decode(codec.Encode(text), static_cast<std::int16_t>(n)), text);
    }
}

TEST(SeptetUnpacking, ZeroBecomesAtSignAndOtherCodesStay)
{
    const PDUEncoder codec;
    const std::string codes = {'\0', '\x01', '\x02', '\x11', '\x1B', '\x3C', 'A'};
    EXPECT_EQ(codec.Decode(codec.Encode(codes), 7), "@\x01\x02\x11\x1B<A");
}

TEST(SeptetUnpacking, StopsWhereTheDataEnds)
{
    const PDUEncoder codec;
    EXPECT_EQ(codec.Decode("E8329BFD06", 100), "hello");
    EXPECT_EQ(codec.Decode("E832", 5), "he");
    EXPECT_EQ(codec.Decode("", 5), "");
    EXPECT_EQ(codec.Decode("E8329BFD06", 0), "");
    EXPECT_EQ(codec.Decode("E8329BFD06", -4), "");
    EXPECT_EQ(codec.Decode("E8329", 3), "he");
}

TEST(TimeStamps, WritesAndReadsSwappedDecimalDigits)
{
    const DateTime t = DateTime::fromParts(2026, 12, 31, 23, 59, 30);
    EXPECT_EQ(PDUEncoder::GSMTimeStamp(t, 0), "62211332950300");
    EXPECT_EQ(PDUEncoder::ParseTS("62211332950300"), t);
}

TEST(TimeStamps, IgnoresTheZoneWhenReading)
{
    const DateTime t = DateTime::fromParts(2011, 2, 28, 11, 50, 50);
    EXPECT_EQ(PDUEncoder::ParseTS("11208211050541"), t);
    EXPECT_EQ(PDUEncoder::ParseTS("1120821105054A"), t);
    EXPECT_EQ(PDUEncoder::ParseTS("112082110505"), t);
}

TEST(TimeStamps, TwoDigitYearsBelowThirtyAreThisCentury)
{
    struct Case
    {
        const char* stamp;
        int year;
    };
    const Case cases[] = {{"00101010101000", 2000}, {"92101010101000", 2029}, {"03101010101000", 1930},
        {"99101010101000", 1999}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stamp);
        EXPECT_EQ(PDUEncoder::ParseTS(c.stamp).year(), c.year);
    }
}

TEST(TimeStamps, WritesZoneInQuarterHoursWithSignBit)
{
    const DateTime t = DateTime::fromParts(2026, 1, 2, 3, 4, 5);
    EXPECT_EQ(PDUEncoder::GSMTimeStamp(t, 2).substr(12), "80");
    EXPECT_EQ(PDUEncoder::GSMTimeStamp(t, -1).substr(12), "48");
    EXPECT_EQ(PDUEncoder::GSMTimeStamp(t, 5).substr(12), "02");
    EXPECT_EQ(PDUEncoder::GSMTimeStamp(t, -5).substr(12), "0A");
}

TEST(TimeStamps, GarbledStampGivesADateNotACrash)
{
    // Month 00 and impossible days roll over as calendar arithmetic does; junk reads as zero.
    EXPECT_EQ(PDUEncoder::ParseTS("62001000000000"), DateTime::fromParts(2025, 12, 1));
    EXPECT_EQ(PDUEncoder::ParseTS("62212300000000"), DateTime::fromParts(2027, 1, 1));
    EXPECT_EQ(PDUEncoder::ParseTS("FFFFFFFFFFFFFF"), DateTime::fromParts(1999, 11, 30));
    EXPECT_TRUE(PDUEncoder::ParseTS("6221").isZero());
}

TEST(Octets, EncodeAndDecodeHexPairs)
{
    EXPECT_EQ(PDUEncoder::OctetEncode(10), "0A");
    EXPECT_EQ(PDUEncoder::OctetEncode(255), "FF");
    EXPECT_EQ(PDUEncoder::OctetEncode(0), "00");
    EXPECT_EQ(PDUEncoder::OctetDecode("0A"), 10);
    EXPECT_EQ(PDUEncoder::OctetDecode("ff"), 255);
    EXPECT_EQ(PDUEncoder::OctetDecode("G1"), 0);
    EXPECT_EQ(PDUEncoder::OctetDecode("1\""), 0);
    EXPECT_EQ(PDUEncoder::OctetDecode(""), 0);
    EXPECT_EQ(PDUEncoder::Swap("12"), "21");
    EXPECT_EQ(PDUEncoder::Swap("1"), "1");
}

TEST(FieldPositions, FollowTheServiceCentreLength)
{
    struct Case
    {
        std::string pdu;
        std::string stripped;
        int type;
        int senderOffset;
    };
    const Case cases[] = {
        {"0004", "04", 4, 5},
        {"07912143658709F1040B91", "040B91", 4, 19},
        {"0391", "", 0, 11},
        {"", "", 0, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pdu);
        EXPECT_EQ(PDUEncoder::StripSC(c.pdu), c.stripped);
        EXPECT_EQ(PDUEncoder::PDUType(c.pdu), c.type);
        EXPECT_EQ(PDUEncoder::SenderOffset(c.pdu), c.senderOffset);
    }
}

TEST(AddressFields, ReadLengthTypeAndDigits)
{
    struct Case
    {
        std::string field;
        int type;
        std::string address;
        int width;
    };
    const Case cases[] = {
        {"0B918100551512F2", 0x91, "18005551212", 16},
        {"0881515510320000", 0x81, "15550123", 12},
        {"0781515510F2", 0x81, "1555012", 12},
        {"0091", 0, "", 4},
        {"00", 0, "", 4},
        {"0B9181", 0x91, "18", 16},
        {"", 0, "", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        std::uint8_t type = 99;
        std::string address = "old";
        PDUEncoder::SplitAddressFields(c.field, type, address);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(PDUEncoder::AddressFieldWidth(c.field), c.width);
    }
}

TEST(AddressFields, DecodeAddressCutsFillerAndCount)
{
    EXPECT_EQ(PDUEncoder::DecodeAddress("515510F2", 7), "1555012");
    EXPECT_EQ(PDUEncoder::DecodeAddress("51551032", 8), "15550123");
    EXPECT_EQ(PDUEncoder::DecodeAddress("51551032", 20), "15550123");
    EXPECT_EQ(PDUEncoder::DecodeAddress("515", 3), "155");
    EXPECT_EQ(PDUEncoder::DecodeAddress("5155", -1), "");
}
