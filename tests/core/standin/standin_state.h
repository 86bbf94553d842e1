#pragma once

// The scripting and recording interface of the stand-in libkelbrin.so. A test reaches the state
// through the exported function standin_state(), looked up in the library the console loaded.

#include "kelbrin.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// One call into an entry point, with every argument copied when the call was made.
struct StandinCall {
    std::string entryPoint;
    std::vector<std::int32_t> numbers;
    // Text arguments in order; for SMSGetLastError the 1024 bytes of the buffer as it came in.
    std::vector<std::string> texts;
};

// What SMSGetNextMessage hands out on one call. Without a record the caller's record is left
// as it was, as a careless library might.
struct StandinMessage {
    std::optional<SMSMessageRecord> record;
    std::int32_t result = 1;
};

struct StandinReport {
    std::optional<SMSReportRecord> record;
    std::int32_t result = 1;
};

struct StandinState {
    std::int32_t startResult = 1;
    std::int32_t stopResult = 1;
    std::int32_t sendResult = 1;
    std::int32_t queryResult = 1;
    std::int32_t lastErrorResult = 0;
    // Copied into the error buffer as they are, no NUL added; at most KELBRIN_ERROR_TEXT_SIZE.
    std::string lastErrorBytes;
    // Handed out front first; an empty queue answers 0 and leaves the record alone.
    std::deque<StandinMessage> messages;
    std::deque<StandinReport> reports;

    std::vector<StandinCall> calls;
};

inline constexpr const char* kStandinStateSymbol = "standin_state";
using StandinStateFn = StandinState* (*)();
