// Figures for `kelbrin-ports check` against simulated modems at their own pace (each built-in
// personality's reply delays):
//   1. the check of one modem on each personality (target <= 3 s)
//   2. `check --all` over 8 mapped simulators against over one (target <= 1.5x): the modems are
//      checked side by side, so a rack takes about the time of one. Both runs include the probe
//      of this machine's unmapped serial devices.
// The program itself is run, as an operator runs it. Medians of 5 runs. Exits non-zero when a
// target is missed.
//
//   ports_check_bench

#include <modemsim/scenario_file.h>
#include <modemsim/simulator.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;

struct Run {
    double seconds = 0;
    int status = -1;
};

Run runProgram(const std::string& arguments) {
    const auto start = Clock::now();
    FILE* program = ::popen((KELBRIN_PORTS_PROGRAM " " + arguments + " >/dev/null").c_str(), "r");
    const int status = program == nullptr ? -1 : ::pclose(program);
    return {std::chrono::duration<double>(Clock::now() - start).count(),
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

/// The median time of kRuns runs; nothing when a run found a failing step.
double medianSeconds(const std::string& arguments, bool& allPassed) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        const Run run = runProgram(arguments);
        allPassed = allPassed && run.status == 0;
        times.push_back(run.seconds);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::unique_ptr<modemsim::Simulator> simulator(const std::string& scenario,
                                               const std::string& link) {
    auto loaded = modemsim::loadScenario(scenario);
    modemsim::SimulatorOptions options;
    options.scenario = std::get<modemsim::Scenario>(loaded);
    options.linkPath = link;
    return std::make_unique<modemsim::Simulator>(options);
}

bool report(bool ok, const char* what) {
    std::printf("  %s: %s\n", what, ok ? "met" : "MISSED");
    return ok;
}

} // namespace

int main() {
    char folderTemplate[] = "/tmp/ports-check-bench-XXXXXX";
    const std::string folder = ::mkdtemp(folderTemplate);
    bool met = true;
    bool allPassed = true;

    std::printf("1. check of one modem, per personality (median of %d)\n", kRuns);
    double slowest = 0;
    for (const auto& entry : fs::directory_iterator(MODEMSIM_SCENARIO_DIR)) {
        const std::string link = folder + "/one";
        const auto modem = simulator(entry.path(), link);
        const double seconds = medianSeconds("check " + link, allPassed);
        slowest = std::max(slowest, seconds);
        std::printf("  %-22s %.2f s\n", entry.path().stem().c_str(), seconds);
    }
    met = report(slowest <= 3.0, "every personality within 3 s") && met;

    std::printf("2. check --all: 8 mapped simulators against 1 (median of %d)\n", kRuns);
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    fs::create_directories(folder + "/kelbrin");
    const auto runAll = [&](int modems) {
        std::vector<std::unique_ptr<modemsim::Simulator>> rack;
        std::ofstream map(folder + "/kelbrin/ports");
        for (int i = 1; i <= modems; ++i) {
            const std::string link = folder + "/rack" + std::to_string(i);
            rack.push_back(simulator(MODEMSIM_SCENARIO_DIR "/huawei-e173.scenario", link));
            map << "COM" << i << " = " << link << "\n";
        }
        map.close();
        return medianSeconds("check --all", allPassed);
    };
    const double one = runAll(1);
    const double eight = runAll(8);
    std::printf("  one modem      %.2f s\n  eight modems   %.2f s (%.2fx)\n", one, eight,
                eight / one);
    met = report(eight <= 1.5 * one, "eight within 1.5x of one") && met;
    met = report(allPassed, "every checklist without a failing step") && met;
    fs::remove_all(folder);
    return met ? 0 : 1;
}
