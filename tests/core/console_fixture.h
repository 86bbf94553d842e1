#pragma once

#include "fake_console_window.h"
#include "sms_console_dlg.h"
#include "standin/standin_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

inline constexpr std::uint16_t kEnglishSystem = 0x0409;
inline constexpr std::uint16_t kChineseSystem = 0x0804;

// A console on a fake window, bound to the stand-in libkelbrin.so found through the real loader
// path (LD_LIBRARY_PATH names the stand-in's directory). The stand-in's script is reset per test.
class ConsoleFixture : public ::testing::Test {
protected:
    void SetUp() override;

    // Runs start-up for a system of the given language, then forgets the calls it made so that a
    // test sees only what its own commands do.
    void startUp(std::uint16_t languageId);
    // Start-up and a successful Start.
    void startRunning(std::uint16_t languageId);

    // The names of the entry points called since the last reset, in order.
    std::vector<std::string> libraryCalls() const;
    const StandinCall& onlyCallOf(const std::string& entryPoint) const;

    FakeConsoleWindow m_window;
    CSmsConsoleDlg m_console{m_window};
    StandinState* m_standin = nullptr;
};

SMSMessageRecord messageRecord(const std::string& sender, const std::string& timestamp,
                               const std::string& text);
SMSReportRecord reportRecord(std::int32_t status, const std::string& number,
                             const std::string& text);
