// modemsim: a GSM modem simulator on a pseudo-terminal. See docs/modemsim.md.

#include "modemsim/scenario_file.h"
#include "modemsim/simulator.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

void printUsage(std::FILE* to) {
    std::fputs("usage: modemsim [--scenario NAME|FILE | --replay TRACE] [--link PATH]\n"
               "                [--control SOCKET] [--trace FILE|-]\n"
               "  --scenario  built-in \"demo\" or a scenario file (default: a plain modem)\n"
               "  --replay    answer as the modem in the last session of TRACE did (a\n"
               "              KELBRIN_TRACE or --trace file); a command the trace does not\n"
               "              expect gets ERROR and is named on stderr\n"
               "  --link      publish the terminal as a symlink at PATH\n"
               "  --control   accept control commands on this Unix socket\n"
               "  --trace     log every byte to FILE, or to stderr with -\n"
               "Prints the terminal path, then runs until SIGINT or SIGTERM.\n",
               to);
}

} // namespace

int main(int argc, char** argv) {
    modemsim::SimulatorOptions options;
    bool scenarioGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            printUsage(stderr);
            return 2;
        }
        std::string value = argv[++i];
        if (flag == "--scenario") {
            auto loaded = modemsim::loadScenario(value);
            if (auto* error = std::get_if<std::string>(&loaded)) {
                std::fprintf(stderr, "modemsim: %s\n", error->c_str());
                return 2;
            }
            options.scenario = std::get<modemsim::Scenario>(loaded);
            scenarioGiven = true;
        } else if (flag == "--replay") {
            options.replayPath = value;
        } else if (flag == "--link") {
            options.linkPath = value;
        } else if (flag == "--control") {
            options.controlPath = value;
        } else if (flag == "--trace") {
            options.tracePath = value;
        } else {
            printUsage(stderr);
            return 2;
        }
    }

    if (scenarioGiven && !options.replayPath.empty()) {
        std::fputs("modemsim: --scenario and --replay exclude each other\n", stderr);
        printUsage(stderr);
        return 2;
    }

    // Block the stop signals before the loop thread starts, so only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    try {
        modemsim::Simulator simulator(options);
        std::printf("%s\n", simulator.terminalPath().c_str());
        if (!options.linkPath.empty()) {
            std::printf("%s -> %s\n", options.linkPath.c_str(), simulator.terminalPath().c_str());
        }
        std::fflush(stdout);
        int received = 0;
        sigwait(&stopSignals, &received);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "modemsim: %s\n", error.what());
        return 1;
    }
    return 0;
}
