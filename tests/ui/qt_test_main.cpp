#include "qt_test_main.h"

#include "sms_console_app.h"

#include <QApplication>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

bool qtThreadRunning() {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name == "Thread (pooled)" || name == "QtTest Watchdog") {
            return true;
        }
    }
    return false;
}

} // namespace

int runQtTests(int argc, char** argv, const std::function<int()>& tests) {
    int result = 0;
    {
        QApplication application(argc, argv);
        prepareApplication();
        result = tests();
    }
    // They end within microseconds once joined; the bound only keeps a surprise from hanging.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (qtThreadRunning() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return result;
}
