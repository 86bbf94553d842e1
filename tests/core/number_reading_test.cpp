#include "number_reading.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct NumberRow {
    const char* name;
    std::string text;
    std::int32_t expected;
};

TEST(NumberReading, ReadsTheLeadingDecimalInteger) {
    const NumberRow rows[] = {
        {"plain", "115200", 115200},
        {"empty gives 0", "", 0},
        {"letters give 0", "abc", 0},
        {"every leading white space skipped", " \t\r\n\v\f42", 42},
        {"negative stays negative", "-5", -5},
        {"plus sign", "+7", 7},
        {"stops at the first non-digit", "12abc", 12},
        {"stops at inner space", "1 2", 1},
        {"space after the sign gives 0", "- 5", 0},
        {"two signs give 0", "--5", 0},
        {"hex is not read", "0x10", 0},
        {"largest 32-bit value", "2147483647", kMax},
        {"smallest 32-bit value", "-2147483648", kMin},
        {"one above clamps to the largest", "2147483648", kMax},
        {"one below clamps to the smallest", "-2147483649", kMin},
        {"far beyond 64 bits clamps", "99999999999999999999999999", kMax},
        {"far below 64 bits clamps", "-99999999999999999999999999", kMin},
        {"leading zeros are no overflow", "0000000000000000000000042", 42},
    };
    for (const NumberRow& row : rows) {
        EXPECT_EQ(readNumber(row.text), row.expected) << row.name;
    }
}

TEST(NumberReading, PortNumberSkipsTheFirstThreeBytes) {
    const NumberRow rows[] = {
        {"COM3", "COM3", 3},
        {"COM12", "COM12", 12},
        {"prefix unexamined", "XYZ7", 7},
        {"negative port passed on", "COM-5", -5},
        {"three bytes only", "COM", 0},
        {"shorter than three", "CO", 0},
        {"empty", "", 0},
        {"COM0", "COM0", 0},
        {"no digits", "COMX", 0},
        {"white space after the prefix", "COM 9", 9},
        {"digits inside the prefix are skipped", "123", 0},
        {"bytes, not characters: one 3-byte UTF-8 character",
         "\xE4\xB8\xAD"
         "5",
         5},
        {"beyond 32 bits clamps", "COM99999999999", kMax},
    };
    for (const NumberRow& row : rows) {
        EXPECT_EQ(readPortNumber(row.text), row.expected) << row.name;
    }
}

} // namespace
