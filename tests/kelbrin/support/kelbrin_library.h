#pragma once

// libkelbrin.so loaded the way callers load it: dlopen and a lookup of each entry point by name.
// A process loads it once and keeps it, like the console.

#include "kelbrin.h"

#include <chrono>
#include <optional>
#include <string>

namespace kelbrin::testing {

struct KelbrinLibrary {
    SMSStartServiceFn start = nullptr;
    SMSStopSericeFn stop = nullptr;
    SMSSendMessageFn send = nullptr;
    SMSGetNextMessageFn nextMessage = nullptr;
    SMSReportFn report = nullptr;
    SMSQueryFn query = nullptr;
    SMSGetLastErrorFn lastError = nullptr;

    /// Starts on COM1 at 115200 with the arguments the console passes.
    int32_t startCom1(int32_t rtsCts = 0) const;
    int32_t sendText(const std::string& text, const std::string& number) const;
    std::string lastErrorText() const;
    std::optional<SMSReportRecord> waitReport(std::chrono::milliseconds timeout) const;
    std::optional<SMSMessageRecord> waitMessage(std::chrono::milliseconds timeout) const;
    /// Waits until SMSQuery(index) returns @p state.
    bool waitQuery(int32_t index, int32_t state, std::chrono::milliseconds timeout) const;
    /// Stops the service and throws away reports and messages a previous case left.
    void reset() const;
};

/// The process's one copy (path from KELBRIN_LIBRARY_FILE set at build time).
const KelbrinLibrary& kelbrinLibrary();

} // namespace kelbrin::testing
