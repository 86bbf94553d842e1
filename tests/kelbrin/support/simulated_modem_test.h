#pragma once

// Base of the tests that drive libkelbrin.so against modemsim over a real pseudo-terminal.

#include "kelbrin_library.h"

#include <modemsim/simulator.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace kelbrin::testing {

using namespace std::chrono_literals;

/// A text field of a record up to its NUL, never beyond its width.
template <std::size_t Width> std::string fieldText(const char (&field)[Width]) {
    return std::string(field, ::strnlen(field, Width));
}

/// Polls @p done every 2 ms until it holds or @p timeout passes.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout = 2s);

class SimulatedModemTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Starts a simulator and maps COM1 to its terminal.
    modemsim::Simulator& startSimulator(const modemsim::Scenario& scenario = {});
    /// The same with options (a trace to replay, ...); the link is the test's own.
    modemsim::Simulator& startSimulator(modemsim::SimulatorOptions options);
    /// Simulator, then the service on COM1; fails the test when the service does not start.
    modemsim::Simulator& startService(const modemsim::Scenario& scenario = {});

    const KelbrinLibrary& lib = kelbrinLibrary();
    std::unique_ptr<modemsim::Simulator> m_sim;
    std::string m_folder; ///< holds the link COM1 is mapped to
};

} // namespace kelbrin::testing
