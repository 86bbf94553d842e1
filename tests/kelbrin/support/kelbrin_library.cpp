#include "kelbrin_library.h"

#include <stdexcept>
#include <thread>

#include <dlfcn.h>

namespace kelbrin::testing {
namespace {

template <typename Fn> Fn lookUp(void* handle, const char* name) {
    void* symbol = ::dlsym(handle, name);
    if (symbol == nullptr) {
        throw std::runtime_error(std::string("entry point missing: ") + name);
    }
    return reinterpret_cast<Fn>(symbol);
}

template <typename Predicate> bool pollUntil(std::chrono::milliseconds timeout, Predicate&& done) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

KelbrinLibrary load() {
    void* handle = ::dlopen(KELBRIN_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw std::runtime_error(std::string("dlopen failed: ") + ::dlerror());
    }
    KelbrinLibrary library;
    library.start = lookUp<SMSStartServiceFn>(handle, "SMSStartService");
    library.stop = lookUp<SMSStopSericeFn>(handle, "SMSStopSerice");
    library.send = lookUp<SMSSendMessageFn>(handle, "SMSSendMessage");
    library.nextMessage = lookUp<SMSGetNextMessageFn>(handle, "SMSGetNextMessage");
    library.report = lookUp<SMSReportFn>(handle, "SMSReport");
    library.query = lookUp<SMSQueryFn>(handle, "SMSQuery");
    library.lastError = lookUp<SMSGetLastErrorFn>(handle, "SMSGetLastError");
    return library;
}

} // namespace

int32_t KelbrinLibrary::startCom1(int32_t rtsCts) const {
    return start(1, 115200, 2, 8, 0, rtsCts, "card");
}

int32_t KelbrinLibrary::sendText(const std::string& text, const std::string& number) const {
    std::string textBuffer = text;
    std::string numberBuffer = number;
    return send(textBuffer.data(), numberBuffer.data());
}

std::string KelbrinLibrary::lastErrorText() const {
    char buffer[KELBRIN_ERROR_TEXT_SIZE] = {};
    return lastError(buffer) > 0 ? std::string(buffer) : std::string();
}

std::optional<SMSReportRecord> KelbrinLibrary::waitReport(std::chrono::milliseconds timeout) const {
    SMSReportRecord record{};
    if (pollUntil(timeout, [&] { return report(&record) == 1; })) {
        return record;
    }
    return std::nullopt;
}

std::optional<SMSMessageRecord>
KelbrinLibrary::waitMessage(std::chrono::milliseconds timeout) const {
    SMSMessageRecord record{};
    if (pollUntil(timeout, [&] { return nextMessage(&record) == 1; })) {
        return record;
    }
    return std::nullopt;
}

bool KelbrinLibrary::waitQuery(int32_t index, int32_t state,
                               std::chrono::milliseconds timeout) const {
    return pollUntil(timeout, [&] { return query(index) == state; });
}

void KelbrinLibrary::reset() const {
    stop();
    SMSReportRecord reportRecord{};
    while (report(&reportRecord) == 1) {
    }
    SMSMessageRecord messageRecord{};
    while (nextMessage(&messageRecord) == 1) {
    }
}

const KelbrinLibrary& kelbrinLibrary() {
    static const KelbrinLibrary library = load();
    return library;
}

} // namespace kelbrin::testing
