// Part boundaries of splitText: the single-part limits, the per-part limits beside a
// concatenation header, and pairs that must move whole to the next part.

#include "sms/split.h"
#include "sms/tpdu.h"

#include <gtest/gtest.h>

namespace {

std::string repeat(std::string_view piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

struct SplitRow {
    std::string name;
    std::string text;
    sms::ReferenceWidth width;
    sms::Alphabet alphabet;
    std::vector<std::string> parts;
};

std::vector<SplitRow> splitRows() {
    using sms::Alphabet;
    const auto bits8 = sms::ReferenceWidth::Bits8;
    const auto bits16 = sms::ReferenceWidth::Bits16;
    return {
        {"160 septets fit one message",
         repeat("a", 160),
         bits8,
         Alphabet::Gsm7,
         {repeat("a", 160)}},
        {"161 septets need two parts",
         repeat("a", 161),
         bits8,
         Alphabet::Gsm7,
         {repeat("a", 153), repeat("a", 8)}},
        {"306 septets fill two parts",
         repeat("a", 306),
         bits8,
         Alphabet::Gsm7,
         {repeat("a", 153), repeat("a", 153)}},
        {"307 septets need three",
         repeat("a", 307),
         bits8,
         Alphabet::Gsm7,
         {repeat("a", 153), repeat("a", 153), "a"}},
        {"16-bit reference leaves 152",
         repeat("a", 161),
         bits16,
         Alphabet::Gsm7,
         {repeat("a", 152), repeat("a", 9)}},
        {"escape pair counts two septets",
         repeat("a", 159) + "€",
         bits8,
         Alphabet::Gsm7,
         {repeat("a", 153), repeat("a", 6) + "€"}},
        {"escape pair straddling 153 moves whole",
         repeat("a", 152) + "€" + repeat("b", 10),
         bits8,
         Alphabet::Gsm7,
         {repeat("a", 152), "€" + repeat("b", 10)}},
        {"escape pair ending at 153 stays",
         repeat("a", 151) + "€" + repeat("b", 10),
         bits8,
         Alphabet::Gsm7,
         {repeat("a", 151) + "€", repeat("b", 10)}},
        {"70 units fit one message", repeat("你", 70), bits8, Alphabet::Ucs2, {repeat("你", 70)}},
        {"71 units need two parts",
         repeat("你", 71),
         bits8,
         Alphabet::Ucs2,
         {repeat("你", 67), repeat("你", 4)}},
        {"134 units fill two parts",
         repeat("你", 134),
         bits8,
         Alphabet::Ucs2,
         {repeat("你", 67), repeat("你", 67)}},
        {"135 units need three",
         repeat("你", 135),
         bits8,
         Alphabet::Ucs2,
         {repeat("你", 67), repeat("你", 67), "你"}},
        {"16-bit reference leaves 66 units",
         repeat("你", 71),
         bits16,
         Alphabet::Ucs2,
         {repeat("你", 66), repeat("你", 5)}},
        {"surrogate pair straddling 67 moves whole",
         repeat("你", 66) + "😀xxxxx",
         bits8,
         Alphabet::Ucs2,
         {repeat("你", 66), "😀xxxxx"}},
        {"69 units plus a surrogate pair is 71",
         repeat("x", 69) + "😀",
         bits8,
         Alphabet::Ucs2,
         {repeat("x", 67), "xx😀"}},
        {"one character outside GSM makes all UCS2",
         repeat("a", 100) + "ж",
         bits8,
         Alphabet::Ucs2,
         {repeat("a", 67), repeat("a", 33) + "ж"}},
        {"empty text is one empty part", "", bits8, Alphabet::Gsm7, {""}},
    };
}

TEST(SplitText, Boundaries) {
    for (const auto& row : splitRows()) {
        SCOPED_TRACE(row.name);
        const auto split = sms::splitText(row.text, row.width);
        ASSERT_TRUE(split);
        EXPECT_EQ(split->alphabet, row.alphabet);
        EXPECT_EQ(split->parts, row.parts);
    }
}

// Every part of a full-sized split really fits one SUBMIT with its concatenation header.
TEST(SplitText, EveryPartFitsItsTpdu) {
    const std::string texts[] = {repeat("€", 200), repeat("😀", 100), repeat("a", 1000)};
    for (const auto width : {sms::ReferenceWidth::Bits8, sms::ReferenceWidth::Bits16}) {
        for (const auto& text : texts) {
            const auto split = sms::splitText(text, width);
            ASSERT_TRUE(split);
            for (const auto& part : split->parts) {
                sms::Submit submit;
                submit.destination = sms::makeAddress("+4915259911630");
                submit.dataCoding = sms::dataCodingFor(split->alphabet);
                submit.userData = {
                    sms::Concatenation{7, 255, 255, width == sms::ReferenceWidth::Bits16}, part};
                EXPECT_TRUE(sms::encodeTpdu(submit)) << part;
            }
        }
    }
}

TEST(SplitText, MoreThan255PartsIsTooLong) {
    EXPECT_TRUE(sms::splitText(repeat("a", 255 * 153)));
    const auto split = sms::splitText(repeat("a", 255 * 153 + 1));
    ASSERT_FALSE(split);
    EXPECT_EQ(split.error(), sms::Error::TooLong);
}

} // namespace
