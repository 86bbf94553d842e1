// A separate process for the lifecycle tests: loads libkelbrin.so, starts the service on COM1
// ($KELBRIN_COM1), sends one message, then leaves with the service open, either by unloading
// the library or by exiting.
//
//   kelbrin_lifecycle_probe <library file> unload|exit
#include "kelbrin.h"

#include <cstdlib>
#include <string>

#include <dlfcn.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    void* handle = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return 3;
    }
    auto start = reinterpret_cast<SMSStartServiceFn>(::dlsym(handle, "SMSStartService"));
    auto send = reinterpret_cast<SMSSendMessageFn>(::dlsym(handle, "SMSSendMessage"));
    if (start == nullptr || send == nullptr || start(1, 115200, 2, 8, 0, 0, "card") != 1) {
        return 4;
    }
    std::string text = "pending when the process leaves";
    std::string number = "+111";
    send(text.data(), number.data());
    if (std::string(argv[2]) == "unload") {
        return ::dlclose(handle) == 0 ? 0 : 5;
    }
    std::exit(0);
}
