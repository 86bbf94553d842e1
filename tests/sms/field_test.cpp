// Field codecs with rules of their own: TP-Status classes, relative validity, DCS groups, time
// zones, UTF-8/UCS2 edge cases, hex.

#include "pdu_vectors.h"

#include "sms/data_coding.h"
#include "sms/gsm7.h"
#include "sms/hex.h"
#include "sms/pdu.h"
#include "sms/status.h"
#include "sms/utf.h"
#include "sms/validity.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusClass, OneRowPerClassBoundary) {
    using sms::StatusClass;
    const std::pair<std::uint8_t, StatusClass> rows[] = {
        {0x00, StatusClass::Delivered},   {0x02, StatusClass::Delivered},
        {0x1F, StatusClass::Delivered},   {0x20, StatusClass::StillTrying},
        {0x30, StatusClass::StillTrying}, {0x3F, StatusClass::StillTrying},
        {0x40, StatusClass::Failed},      {0x46, StatusClass::Failed},
        {0x5F, StatusClass::Failed},      {0x60, StatusClass::Failed},
        {0x7F, StatusClass::Failed},      {0x80, StatusClass::Reserved},
        {0xFF, StatusClass::Reserved},
    };
    for (const auto& [status, expected] : rows) {
        EXPECT_EQ(sms::classifyStatus(status), expected) << int{status};
    }
}

TEST(RelativeValidity, PublishedPeriods) {
    using std::chrono::hours;
    using std::chrono::minutes;
    const std::pair<minutes, std::uint8_t> rows[] = {
        {minutes(5), 0},           {minutes(30), 5},           {hours(12), 143},
        {hours(16), 151},          {hours(24), 167},           {hours(25), 168},
        {hours(72), 169},          {hours(24 * 30), 196},      {hours(24 * 35), 197},
        {hours(24 * 7 * 63), 255}, {hours(24 * 7 * 100), 255},
    };
    for (const auto& [period, octet] : rows) {
        EXPECT_EQ(sms::relativeValidityFor(period), octet) << period.count() << " min";
    }
}

TEST(RelativeValidity, EveryOctetMapsBackToItself) {
    for (int octet = 0; octet < 256; ++octet) {
        const auto value = static_cast<std::uint8_t>(octet);
        EXPECT_EQ(sms::relativeValidityFor(sms::relativeValidityPeriod(value)), value);
    }
}

TEST(DataCoding, Groups) {
    using sms::Alphabet;
    const std::pair<std::uint8_t, Alphabet> rows[] = {
        {0x00, Alphabet::Gsm7},  {0x04, Alphabet::Data8}, {0x08, Alphabet::Ucs2},
        {0x0C, Alphabet::Gsm7}, // reserved alphabet bits
        {0x10, Alphabet::Gsm7},  {0x11, Alphabet::Gsm7},  {0x18, Alphabet::Ucs2},
        {0x19, Alphabet::Ucs2},  {0x24, Alphabet::Data8}, // compressed
        {0x44, Alphabet::Data8}, {0x48, Alphabet::Ucs2},  // marked for deletion
        {0x80, Alphabet::Gsm7},  {0xC8, Alphabet::Gsm7},  {0xD0, Alphabet::Gsm7},
        {0xE0, Alphabet::Ucs2},  {0xF1, Alphabet::Gsm7},  {0xF4, Alphabet::Data8},
        {0xF5, Alphabet::Data8}, {0xFB, Alphabet::Gsm7},
    };
    for (const auto& [dcs, alphabet] : rows) {
        EXPECT_EQ(sms::alphabetOf(dcs), alphabet) << int{dcs};
    }
}

// Time stamps through a status report whose SCTS is swapped: zone sign, year pivot, nibbles
// above 9.
TEST(Timestamp, ZoneSignYearsAndBadNibbles) {
    struct Row {
        std::string_view name;
        std::string_view scts;
        std::string_view text;
        int quarters;
    };
    const Row rows[] = {
        {"plus two hours", "51117200000080", "2015-11-27 00:00:00", 8},
        {"plus eight hours", "70402132522423", "2007-04-12 23:25:42", 32},
        {"minus eight hours", "7040213252242B", "2007-04-12 23:25:42", -32},
        {"year 99 is 1999", "99101010101000", "1999-01-01 01:01:01", 0},
        {"year 89 is 2089", "98101010101000", "2089-01-01 01:01:01", 0},
        {"invalid nibbles count as 9", "F1F11F1FA0B00E", "2019-19-91 91:09:09", -60},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string hex =
            "0006D60B911326880736F4" + std::string(row.scts) + "1110117195714000";
        const auto pdu = sms::decodePdu(hex);
        ASSERT_TRUE(pdu);
        const auto& time = std::get<sms::StatusReport>(pdu->tpdu).serviceCentreTime;
        EXPECT_EQ(sms::formatTimestamp(time), row.text);
        EXPECT_EQ(time.utcOffsetQuarterHours, row.quarters);
    }
}

TEST(Ucs2, SurrogatesOddLengthsAndBadUnits) {
    struct Row {
        std::string_view name;
        std::string_view ucs2;
        std::string_view text;
    };
    const Row rows[] = {
        {"BMP (PG)", "304253F68449", "あ叶葉"},
        {"surrogate pair", "D83DDE00", "😀"},
        {"odd octet dropped", "00410042FF", "AB"},
        {"lone high surrogate", "D83D0041",
         "\xEF\xBF\xBD"
         "A"},
        {"lone low surrogate", "DE000041",
         "\xEF\xBF\xBD"
         "A"},
        {"high surrogate at the end", "0041D83D", "A\xEF\xBF\xBD"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto bytes = sms::fromHex(row.ucs2);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(sms::ucs2ToUtf8(*bytes), row.text);
    }
    EXPECT_EQ(sms::toHex(sms::utf8ToUcs2("あ😀")), "3042D83DDE00");
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
    const std::pair<std::string_view, std::u32string> rows[] = {
        {"a\xC0\x80z", U"a\uFFFDz"},     // overlong NUL
        {"\xE4\xBD", U"\uFFFD"},         // truncated sequence
        {"\xED\xA0\x80", U"\uFFFD"},     // encoded surrogate
        {"\x80x", U"\uFFFDx"},           // stray continuation
        {"\xF4\x90\x80\x80", U"\uFFFD"}, // above U+10FFFF
        {"\xF0\x9F\x98\x80", U"\U0001F600"},
    };
    for (const auto& [utf8, codePoints] : rows) {
        EXPECT_EQ(sms::utf8ToCodePoints(utf8), codePoints)
            << sms::toHex({utf8.begin(), utf8.end()});
    }
}

TEST(Hex, CaseAndRejects) {
    const auto bytes = sms::fromHex("00aBfF");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(sms::toHex(*bytes), "00ABFF");
    for (const std::string_view bad : {"0", "0G", "00 11", "1=", "p0", "**"}) {
        const auto result = sms::fromHex(bad);
        ASSERT_FALSE(result) << bad;
        EXPECT_EQ(result.error(), sms::Error::BadHex);
    }
}

// A DELIVER from +31628870634 with TP-UDHI set, around a given DCS, UDL and user data.
std::string deliverWithHeader(std::string_view dataCoding, std::size_t length,
                              const sms::Bytes& userData) {
    return "00440B911326880736F400" + std::string(dataCoding) + "11101171955140" +
           sms::toHex({static_cast<std::uint8_t>(length)}) + sms::toHex(userData);
}

// Header elements other than concatenation are skipped, wherever they sit; invalid
// concatenation elements are ignored rather than trusted.
TEST(UserDataHeader, OtherElementsSkippedInvalidConcatenationIgnored) {
    struct Row {
        std::string_view name;
        std::string_view header; // UDHL and elements
        std::optional<sms::Concatenation> concatenation;
    };
    const Row rows[] = {
        {"concat then element 70 (gammu)", "0800032A0201700100", sms::Concatenation{42, 2, 1}},
        {"WAP ports before concat", "0B05040B8423F00003170301", sms::Concatenation{23, 3, 1}},
        {"16-bit reference (PG)", "06080401800402", sms::Concatenation{384, 4, 2, true}},
        {"ports only", "0404026432", std::nullopt},
        {"EMS formatting only", "050A03000010", std::nullopt},
        {"sequence zero", "050003170300", std::nullopt},
        {"sequence above total", "050003170304", std::nullopt},
        {"total zero", "050003170000", std::nullopt},
        {"concat with wrong length", "0400021703", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto userData = sms::fromHex(std::string(row.header) + "00480069"); // UCS2 "Hi"
        ASSERT_TRUE(userData);
        const auto pdu = sms::decodePdu(deliverWithHeader("08", userData->size(), *userData));
        ASSERT_TRUE(pdu) << sms::describe(pdu.error());
        const auto& deliver = std::get<sms::Deliver>(pdu->tpdu);
        EXPECT_EQ(deliver.userData.concatenation, row.concatenation);
        EXPECT_EQ(deliver.userData.text, "Hi");
    }
}

// GSM 7-bit text behind headers of every length modulo 7 starts at the right bit: after the
// header octets, (7 - 8h mod 7) mod 7 fill bits.
TEST(UserDataHeader, FillBitsForEveryHeaderLength) {
    const auto text = sms::utf8ToGsm7("Fill bits!");
    ASSERT_TRUE(text);
    for (int extra = -1; extra <= 6; ++extra) {
        SCOPED_TRACE(extra);
        sms::Bytes header{0x00, 0x00, 0x03, 0x2A, 0x02, 0x01};
        if (extra >= 0) {
            header.push_back(0x70);
            header.push_back(static_cast<std::uint8_t>(extra));
            header.insert(header.end(), static_cast<std::size_t>(extra), 0xEE);
        }
        header[0] = static_cast<std::uint8_t>(header.size() - 1);
        const std::size_t headerBits = header.size() * 8;
        const auto fillBits = static_cast<unsigned>((7 - headerBits % 7) % 7);
        sms::Bytes userData = header;
        const auto packed = sms::packSeptets(*text, fillBits);
        userData.insert(userData.end(), packed.begin(), packed.end());
        const std::size_t length = (headerBits + fillBits) / 7 + text->size();
        const auto pdu = sms::decodePdu(deliverWithHeader("00", length, userData));
        ASSERT_TRUE(pdu) << sms::describe(pdu.error());
        const auto& deliver = std::get<sms::Deliver>(pdu->tpdu);
        EXPECT_EQ(deliver.userData.text, "Fill bits!");
        EXPECT_EQ(deliver.userData.concatenation, (sms::Concatenation{42, 2, 1}));
    }
}

} // namespace
