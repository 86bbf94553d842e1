// A scripted libkelbrin.so for the console's tests: every entry point answers what the test put
// into StandinState and records its call. Variants that lack one entry point are the same code
// linked with a version script that hides it.

#include "standin_state.h"

#include <algorithm>
#include <cstring>

namespace {

StandinState& state() {
    static StandinState instance;
    return instance;
}

void record(StandinCall call) {
    state().calls.push_back(std::move(call));
}

// Touches the last byte of the room the caller promised, so that the sanitizer build catches a
// buffer smaller than the contract; the byte keeps its value.
void probeRoom(char* buffer, std::size_t room) {
    volatile char* last = buffer + room;
    *last = *last;
}

} // namespace

extern "C" {

KELBRIN_EXPORT StandinState* standin_state() {
    return &state();
}

int32_t KELBRIN_CALL SMSStartService(int32_t port, int32_t baud, int32_t mode, int32_t dataBits,
                                     int32_t parity, int32_t rtsCts, const char* storage) {
    record({"SMSStartService", {port, baud, mode, dataBits, parity, rtsCts}, {storage}});
    return state().startResult;
}

int32_t KELBRIN_CALL SMSStopSerice(void) {
    record({"SMSStopSerice", {}, {}});
    return state().stopResult;
}

int32_t KELBRIN_CALL SMSSendMessage(char* text, char* number) {
    record({"SMSSendMessage", {}, {text, number}});
    probeRoom(text, KELBRIN_SEND_TEXT_ROOM);
    probeRoom(number, KELBRIN_SEND_NUMBER_ROOM);
    return state().sendResult;
}

int32_t KELBRIN_CALL SMSGetNextMessage(SMSMessageRecord* record) {
    ::record({"SMSGetNextMessage", {}, {}});
    auto& queue = state().messages;
    if (queue.empty()) {
        return 0;
    }
    const StandinMessage next = queue.front();
    queue.pop_front();
    if (next.record) {
        *record = *next.record;
    }
    return next.result;
}

int32_t KELBRIN_CALL SMSReport(SMSReportRecord* record) {
    ::record({"SMSReport", {}, {}});
    auto& queue = state().reports;
    if (queue.empty()) {
        return 0;
    }
    const StandinReport next = queue.front();
    queue.pop_front();
    if (next.record) {
        *record = *next.record;
    }
    return next.result;
}

int32_t KELBRIN_CALL SMSQuery(int32_t index) {
    record({"SMSQuery", {index}, {}});
    return state().queryResult;
}

int32_t KELBRIN_CALL SMSGetLastError(char* buffer) {
    record({"SMSGetLastError", {}, {std::string(buffer, KELBRIN_ERROR_TEXT_SIZE)}});
    const std::string& bytes = state().lastErrorBytes;
    std::memcpy(buffer, bytes.data(), std::min<std::size_t>(bytes.size(), KELBRIN_ERROR_TEXT_SIZE));
    return state().lastErrorResult;
}

} // extern "C"
