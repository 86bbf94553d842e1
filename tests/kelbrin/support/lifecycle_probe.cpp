// A separate process for the lifecycle tests: loads libkelbrin.so, starts the service on COM1
// ($KELBRIN_COM1), then
//   unload | exit   sends one message and leaves with the service open, by unloading the
//                   library or by exiting;
//   take-stop       takes one received message, prints its text on a line, stops and exits;
//   take-hold       takes one received message, prints its text on a line and waits to be
//                   killed.
//
//   kelbrin_lifecycle_probe <library file> unload|exit|take-stop|take-hold
#include "kelbrin.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <dlfcn.h>

namespace {

// Prints the first received message's text; false when none comes within 5 s.
bool takeOne(SMSGetNextMessageFn next) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    SMSMessageRecord record{};
    while (next(&record) != 1) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("%.*s\n", static_cast<int>(sizeof record.text), record.text);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    void* handle = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return 3;
    }
    auto start = reinterpret_cast<SMSStartServiceFn>(::dlsym(handle, "SMSStartService"));
    auto stop = reinterpret_cast<SMSStopSericeFn>(::dlsym(handle, "SMSStopSerice"));
    auto send = reinterpret_cast<SMSSendMessageFn>(::dlsym(handle, "SMSSendMessage"));
    auto next = reinterpret_cast<SMSGetNextMessageFn>(::dlsym(handle, "SMSGetNextMessage"));
    if (start == nullptr || stop == nullptr || send == nullptr || next == nullptr ||
        start(1, 115200, 2, 8, 0, 0, "card") != 1) {
        return 4;
    }
    const std::string how = argv[2];
    if (how == "take-stop" || how == "take-hold") {
        if (!takeOne(next)) {
            return 6;
        }
        if (how == "take-stop") {
            stop();
            std::exit(0);
        }
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
    std::string text = "pending when the process leaves";
    std::string number = "+111";
    send(text.data(), number.data());
    if (how == "unload") {
        return ::dlclose(handle) == 0 ? 0 : 5;
    }
    std::exit(0);
}
