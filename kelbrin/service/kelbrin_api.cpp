// The seven entry points. Each one catches everything: no exception crosses the C interface.
#include "kelbrin.h"
#include "service.h"

namespace {

// Constructed on first use; destroyed when the library is unloaded or the process exits, which
// stops the worker and joins it.
kelbrin::Service& service() {
    static kelbrin::Service instance;
    return instance;
}

} // namespace

extern "C" {

KELBRIN_EXPORT int32_t KELBRIN_CALL SMSStartService(int32_t port, int32_t baud, int32_t mode,
                                                    int32_t dataBits, int32_t parity,
                                                    int32_t rtsCts, const char* storage) {
    try {
        return service().start({port, baud, mode, dataBits, parity, rtsCts, storage}) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

KELBRIN_EXPORT int32_t KELBRIN_CALL SMSStopSerice(void) {
    try {
        return service().stop() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

KELBRIN_EXPORT int32_t KELBRIN_CALL SMSSendMessage(char* text, char* number) {
    try {
        return service().send(text, number);
    } catch (...) {
        return 0;
    }
}

KELBRIN_EXPORT int32_t KELBRIN_CALL SMSGetNextMessage(SMSMessageRecord* record) {
    try {
        return record != nullptr && service().nextMessage(*record) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

KELBRIN_EXPORT int32_t KELBRIN_CALL SMSReport(SMSReportRecord* record) {
    try {
        return record != nullptr && service().nextReport(*record) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

KELBRIN_EXPORT int32_t KELBRIN_CALL SMSQuery(int32_t index) {
    try {
        return service().query(index);
    } catch (...) {
        return -1;
    }
}

KELBRIN_EXPORT int32_t KELBRIN_CALL SMSGetLastError(char* buffer) {
    try {
        return buffer != nullptr ? service().lastError(buffer) : 0;
    } catch (...) {
        return 0;
    }
}

} // extern "C"
