// A real modem, when one is attached: KELBRIN_HARDWARE_PORT names its device (e.g.
// /dev/ttyUSB2), KELBRIN_HARDWARE_BAUD its speed (115200 if unset) and KELBRIN_HARDWARE_NUMBER
// a phone that may receive a test message. Skipped otherwise.
#include "simulated_modem_test.h"

namespace kelbrin::testing {
namespace {

TEST(RealModem, StartsSendsAndStops) {
    const char* device = std::getenv("KELBRIN_HARDWARE_PORT");
    if (device == nullptr) {
        GTEST_SKIP() << "set KELBRIN_HARDWARE_PORT to test a real modem";
    }
    const char* baud = std::getenv("KELBRIN_HARDWARE_BAUD");
    const auto& lib = kelbrinLibrary();
    ::setenv("KELBRIN_COM1", device, 1);
    ASSERT_EQ(lib.start(1, baud ? std::atoi(baud) : 115200, 2, 8, 0, 0, "card"), 1)
        << lib.lastErrorText();
    if (const char* number = std::getenv("KELBRIN_HARDWARE_NUMBER")) {
        const int32_t index = lib.sendText("Vantrel hardware test", number);
        const auto report = lib.waitReport(120s);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->index, index);
        EXPECT_NE(report->status, 0) << lib.lastErrorText();
    }
    EXPECT_EQ(lib.stop(), 1);
}

} // namespace
} // namespace kelbrin::testing
