// Figures for libkelbrin.so against the simulator, through dlopen as a caller uses it:
//   1. SMSStartService against a modem with no delays (target <= 50 ms); first, while no earlier
//      stop has cut a command short (after one, the next start resynchronises: +0.3 s)
//   2. entry-point latency (p50/p99/max) while the modem stalls 10 s on a send (target p99 <= 1 ms)
//   3. SMSStartService on a silent port (target: fails within 3 s)
//   4. SMSStopSerice with a hung modem (target <= 350 ms; the contract's bound is 1 s)
//   4b. SMSStopSerice right after taking 8 stored messages from a responsive modem: the deletes
//      and the wait for the last answer together (target <= 300 ms; deletes left undone are
//      done at the next start)
//   5. draining 500 stored messages (all delivered once; target >= 50 per second)
//   6. SMSStartService on every built-in personality with every reply 400 ms late, with the
//      command lines the modem got (target <= 4.5 s; the contract's bound is 5 s). A modem opened
//      while it boots or lags (A7670E, SARA-G450) cannot be set up in that time at that pace: its
//      first Start must fail within 5 s saying to start again, and the second meet the target
//   7. entry-point latency while the channel resynchronises after a late +CMGS result
//      (target p99 <= 1 ms)
// Exits non-zero when a target is missed. Prints the build it comes from first.
//
//   kelbrin_service_bench

#include "kelbrin_library.h"

#include <modemsim/scenario_file.h>
#include <modemsim/simulator.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kelbrin::testing::KelbrinLibrary;

double millis(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

struct Percentiles {
    double p50;
    double p99;
    double max;
};

Percentiles percentiles(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        return samples[static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1))];
    };
    return {at(0.50), at(0.99), samples.back()};
}

bool check(bool ok, const char* what) {
    std::printf("  %s: %s\n", what, ok ? "met" : "MISSED");
    return ok;
}

modemsim::Simulator& mapCom1(std::unique_ptr<modemsim::Simulator>& sim,
                             const modemsim::Scenario& scenario) {
    sim = std::make_unique<modemsim::Simulator>(scenario);
    ::setenv("KELBRIN_COM1", sim->terminalPath().c_str(), 1);
    return *sim;
}

void drain(const KelbrinLibrary& lib) {
    SMSReportRecord report{};
    while (lib.report(&report) == 1) {
    }
    SMSMessageRecord message{};
    while (lib.nextMessage(&message) == 1) {
    }
}

// Calls every entry point but start and stop in turn, each for @p perCall, printing each one's
// figures; returns the figures of all calls together.
Percentiles sampleEntryPoints(const KelbrinLibrary& lib, int32_t busyIndex,
                              std::chrono::milliseconds perCall) {
    std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"SMSQuery", [&] { lib.query(busyIndex); }},
        {"SMSReport",
         [&] {
             SMSReportRecord record{};
             lib.report(&record);
         }},
        {"SMSGetNextMessage",
         [&] {
             SMSMessageRecord record{};
             lib.nextMessage(&record);
         }},
        {"SMSGetLastError",
         [&] {
             char buffer[KELBRIN_ERROR_TEXT_SIZE] = {};
             lib.lastError(buffer);
         }},
        {"SMSSendMessage", [&] { lib.sendText("queued behind", "+222"); }},
    };
    std::vector<double> all;
    for (auto& [name, call] : calls) {
        std::vector<double> samples;
        const auto until = Clock::now() + perCall;
        while (Clock::now() < until) {
            const auto before = Clock::now();
            call();
            samples.push_back(millis(Clock::now() - before));
            std::this_thread::sleep_for(200us);
        }
        const auto p = percentiles(samples);
        std::printf("   %-18s n=%6zu  p50=%.4f  p99=%.4f  max=%.4f\n", name, samples.size(), p.p50,
                    p.p99, p.max);
        all.insert(all.end(), samples.begin(), samples.end());
    }
    const auto p = percentiles(all);
    std::printf("   %-18s n=%6zu  p50=%.4f  p99=%.4f  max=%.4f\n", "all", all.size(), p.p50, p.p99,
                p.max);
    return p;
}

bool entryPointLatency(const KelbrinLibrary& lib) {
    std::unique_ptr<modemsim::Simulator> sim;
    modemsim::Scenario scenario;
    scenario.settings.sendDelay = 10s;
    mapCom1(sim, scenario);
    if (lib.startCom1() != 1) {
        std::printf("start failed: %s\n", lib.lastErrorText().c_str());
        return false;
    }
    const int32_t stalled = lib.sendText("stalls the modem", "+111");
    std::this_thread::sleep_for(100ms); // the PDU is out; the modem now sits on it for 10 s

    std::printf("2. entry points while the modem stalls 10 s on a send (ms):\n");
    const auto p = sampleEntryPoints(lib, stalled, 1500ms);
    bool ok = true;
    ok &= check(lib.query(stalled) == KELBRIN_QUERY_IN_PROGRESS,
                "the stalled send was still in progress throughout");
    ok &= check(p.p99 <= 1.0, "p99 <= 1 ms");
    lib.stop();
    drain(lib);
    return ok;
}

bool startTimes(const KelbrinLibrary& lib) {
    std::unique_ptr<modemsim::Simulator> sim;
    mapCom1(sim, modemsim::Scenario{});
    std::vector<double> samples;
    for (int i = 0; i < 20; ++i) {
        const auto before = Clock::now();
        const bool started = lib.startCom1() == 1;
        samples.push_back(millis(Clock::now() - before));
        lib.stop();
        if (!started) {
            std::printf("start failed: %s\n", lib.lastErrorText().c_str());
            return false;
        }
    }
    const auto p = percentiles(samples);
    std::printf("1. SMSStartService, no delays, 20 runs (ms): p50=%.2f max=%.2f\n", p.p50, p.max);
    return check(p.max <= 50.0, "<= 50 ms");
}

bool silentStart(const KelbrinLibrary& lib) {
    std::unique_ptr<modemsim::Simulator> sim;
    modemsim::Scenario scenario;
    scenario.faults.silent = true;
    mapCom1(sim, scenario);
    double slowest = 0;
    bool failed = true;
    for (int i = 0; i < 3; ++i) {
        const auto before = Clock::now();
        failed &= lib.startCom1() == 0;
        slowest = std::max(slowest, millis(Clock::now() - before));
    }
    std::printf("3. SMSStartService on a silent port, 3 runs: slowest %.0f ms, %s\n", slowest,
                failed ? "failed as it should" : "SUCCEEDED?");
    return check(failed && slowest <= 3000.0, "fails within 3 s");
}

bool hungStop(const KelbrinLibrary& lib) {
    std::vector<double> samples;
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<modemsim::Simulator> sim;
        auto& modem = mapCom1(sim, modemsim::Scenario{});
        if (lib.startCom1() != 1) {
            return false;
        }
        auto faults = modem.faults();
        faults.silent = true;
        modem.setFaults(faults);
        lib.sendText("never answered", "+111");
        std::this_thread::sleep_for(50ms);
        const auto before = Clock::now();
        lib.stop();
        samples.push_back(millis(Clock::now() - before));
        drain(lib);
    }
    const auto p = percentiles(samples);
    std::printf("4. SMSStopSerice with a hung modem, 5 runs (ms): p50=%.2f max=%.2f\n", p.p50,
                p.max);
    return check(p.max <= 350.0, "<= 350 ms");
}

bool responsiveStop(const KelbrinLibrary& lib) {
    constexpr int kMessages = 8;
    std::vector<double> samples;
    std::size_t left = 0;
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<modemsim::Simulator> sim;
        auto& modem = mapCom1(sim, modemsim::Scenario{});
        for (int m = 0; m < kMessages; ++m) {
            modem.control("store from=+4930" + std::to_string(m) + " text=\"taken\"");
        }
        if (lib.startCom1() != 1) {
            return false;
        }
        int taken = 0;
        const auto giveUp = Clock::now() + 5s;
        SMSMessageRecord record{};
        while (taken < kMessages && Clock::now() < giveUp) {
            taken += lib.nextMessage(&record) == 1 ? 1 : 0;
        }
        const auto before = Clock::now();
        lib.stop();
        samples.push_back(millis(Clock::now() - before));
        left += modem.storedMessages().size();
    }
    const auto p = percentiles(samples);
    std::printf("4b. SMSStopSerice right after taking %d messages, 5 runs (ms): p50=%.2f "
                "max=%.2f; %zu of %d left for the next start\n",
                kMessages, p.p50, p.max, left, 5 * kMessages);
    return check(p.max <= 300.0, "<= 300 ms");
}

bool backlog(const KelbrinLibrary& lib) {
    constexpr int kMessages = 500;
    std::unique_ptr<modemsim::Simulator> sim;
    modemsim::Scenario scenario;
    scenario.settings.capacitySm = kMessages + 10;
    auto& modem = mapCom1(sim, scenario);
    for (int i = 0; i < kMessages; ++i) {
        modem.control("store from=+4930" + std::to_string(i) + " text=\"backlog " +
                      std::to_string(i) + "\"");
    }
    const auto before = Clock::now();
    if (lib.startCom1() != 1) {
        std::printf("start failed: %s\n", lib.lastErrorText().c_str());
        return false;
    }
    std::multiset<std::string> texts;
    const auto giveUp = Clock::now() + 60s;
    while (texts.size() < kMessages && Clock::now() < giveUp) {
        SMSMessageRecord record{};
        if (lib.nextMessage(&record) == 1) {
            texts.insert(record.text);
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    const double seconds = millis(Clock::now() - before) / 1000.0;
    std::this_thread::sleep_for(500ms);
    SMSMessageRecord extra{};
    const bool none = lib.nextMessage(&extra) != 1;
    std::set<std::string> distinct(texts.begin(), texts.end());
    const std::size_t left = modem.storedMessages().size();
    lib.stop();
    std::printf("5. backlog of %d stored messages: %zu delivered (%zu distinct) in %.2f s = %.0f "
                "per second; %zu left in the modem\n",
                kMessages, texts.size(), distinct.size(), seconds,
                static_cast<double>(texts.size()) / seconds, left);
    bool ok = check(distinct.size() == kMessages && texts.size() == kMessages && none,
                    "all delivered exactly once");
    ok &= check(static_cast<double>(texts.size()) / seconds >= 50.0, ">= 50 per second");
    return ok;
}

bool slowStarts(const KelbrinLibrary& lib) {
    std::printf("6. SMSStartService with every reply 400 ms late (ms):\n");
    bool ok = true;
    for (const std::string& name : modemsim::builtinScenarioNames()) {
        auto scenario = modemsim::loadScenario(name);
        std::unique_ptr<modemsim::Simulator> sim;
        auto& modem = mapCom1(sim, std::get<modemsim::Scenario>(scenario));
        modem.control("set command_delay_ms 400");
        const auto& settings = std::get<modemsim::Scenario>(scenario).settings;
        const bool poweringUp = settings.powerUpSilence.count() > 0 || settings.laggingReplies > 0;
        auto before = Clock::now();
        bool started = lib.startCom1() == 1;
        double took = millis(Clock::now() - before);
        int linesBefore = 0;
        if (!started && poweringUp) {
            const std::string reason = lib.lastErrorText();
            std::printf("   %-18s %7.0f  first Start: %s\n", name.c_str(), took, reason.c_str());
            ok &= took <= 5000.0 && reason.find("tart again") != std::string::npos;
            linesBefore = modem.counters().commandLines;
            before = Clock::now();
            started = lib.startCom1() == 1;
            took = millis(Clock::now() - before);
        }
        // As Start returns, the worker asks for the IMEI; at 400 ms a reply, that is the one line
        // more the modem has got 200 ms later.
        std::this_thread::sleep_for(200ms);
        const int roundTrips = modem.counters().commandLines - linesBefore - (started ? 1 : 0);
        std::printf("   %-18s %7.0f  %2d round trips  %s\n", name.c_str(), took, roundTrips,
                    started ? "started" : lib.lastErrorText().c_str());
        ok &= started && took <= 4500.0;
        std::this_thread::sleep_for(800ms); // the first listing runs, as when an operator waits
        lib.stop();
        drain(lib);
    }
    return check(ok, "every personality started within 4.5 s (a booting or lagging one on the "
                     "second Start, the first saying why)");
}

bool resyncLatency(const KelbrinLibrary& lib) {
    // The result comes 1.5 s after Ctrl-Z, the library gives up after 300 ms: the channel then
    // drains until the late answer has come and resynchronises.
    ::setenv("KELBRIN_RESULT_TIMEOUT_MS", "300", 1);
    std::unique_ptr<modemsim::Simulator> sim;
    modemsim::Scenario scenario;
    scenario.settings.sendDelay = 1500ms;
    mapCom1(sim, scenario);
    const bool started = lib.startCom1() == 1;
    ::unsetenv("KELBRIN_RESULT_TIMEOUT_MS");
    if (!started) {
        std::printf("start failed: %s\n", lib.lastErrorText().c_str());
        return false;
    }
    const int32_t late = lib.sendText("answered late", "+111");
    std::this_thread::sleep_for(320ms); // the result timeout has passed: the drain runs
    std::printf("7. entry points while the channel resynchronises (ms):\n");
    const auto p = sampleEntryPoints(lib, late, 300ms);
    bool ok = check(lib.query(late) == KELBRIN_QUERY_UNDETERMINED,
                    "the late send's outcome was undetermined");
    ok &= check(p.p99 <= 1.0, "p99 <= 1 ms");
    lib.stop();
    drain(lib);
    return ok;
}

} // namespace

int main() {
    const KelbrinLibrary& lib = kelbrin::testing::kelbrinLibrary();
    std::printf("kelbrin_service_bench, build %s (%s)\n", KELBRIN_BENCH_BUILD, KELBRIN_BENCH_TYPE);
    bool ok = true;
    ok &= startTimes(lib);
    ok &= entryPointLatency(lib);
    ok &= silentStart(lib);
    ok &= hungStop(lib);
    ok &= responsiveStop(lib);
    ok &= backlog(lib);
    ok &= slowStarts(lib);
    ok &= resyncLatency(lib);
    std::printf("%s\n", ok ? "all targets met" : "SOME TARGETS MISSED");
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
