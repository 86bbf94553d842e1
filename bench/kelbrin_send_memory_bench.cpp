// Heap a finished send leaves behind: 100,000 sends through kelbrin::Service (the state behind
// the entry points, linked in) against the modemsim program, a modem that confirms each send at
// once and reports it delivered at once. The caller keeps 16 sends outstanding and takes every
// report as it comes, as the console does. Heap in use (mallinfo2: every arena, and the blocks
// malloc maps on their own) is read after the start and again when every send has its report
// and the library has taken every status report the modem showed; the difference over the sends is
// what each one costs for the rest of the run. Target: <= 16 bytes a finished send (SMSQuery still
// answers for every one of them). The time per send is printed as well, with no target: it is the
// modem's round trips over the pseudo-terminal.
//
//   kelbrin_send_memory_bench [sends]      (default 100000)

#include "service.h"
#include "simulator_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <malloc.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultSends = 100000;
constexpr int kOutstanding = 16;
constexpr double kTargetBytesPerSend = 16.0;

long long heapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

int statusValue(const std::string& status, const std::string& name) {
    const auto at = status.find(name + " ");
    return at == std::string::npos ? -1 : std::atoi(status.c_str() + at + name.size() + 1);
}

bool check(bool ok, const char* what) {
    std::printf("  %s: %s\n", what, ok ? "met" : "MISSED");
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const int sends = argc > 1 ? std::atoi(argv[1]) : kDefaultSends;
    if (argc > 2 || sends < 1) {
        std::fprintf(stderr, "usage: kelbrin_send_memory_bench [sends]\n");
        return 2;
    }
    soak::SimulatorProcess sim(MODEMSIM_PROGRAM);
    // The report comes with the send's result, so that the modem's report memory (10 slots) never
    // fills while the sends follow each other as fast as the modem takes them.
    sim.control("set report_delay_ms 0");
    ::setenv("KELBRIN_COM1", sim.linkPath().c_str(), 1);
    ::unsetenv("KELBRIN_TRACE");

    kelbrin::Service service;
    if (!service.start({1, 115200, 2, 8, 0, 0, "card"})) {
        char error[KELBRIN_ERROR_TEXT_SIZE] = {};
        service.lastError(error);
        std::fprintf(stderr, "kelbrin_send_memory_bench: start failed: %s\n", error);
        return 1;
    }
    // The start's own allocations (the worker, the channel's buffers) settle first.
    std::this_thread::sleep_for(500ms);
    const long long heapBefore = heapInUse();

    // Fixed-size buffers: the caller itself keeps nothing on the heap while it sends.
    char text[32];
    char number[] = "+4915550999";
    int called = 0;
    int reported = 0;
    int accepted = 0;
    int repeated = 0;
    int32_t expectedIndex = 1; // reports come in the order of the sends: one worker sends them
    SMSReportRecord report{};
    const auto begin = Clock::now();
    while (reported < sends) {
        while (called < sends && called - reported < kOutstanding) {
            std::snprintf(text, sizeof text, "bench %06d", ++called);
            service.send(text, number);
        }
        bool took = false;
        while (service.nextReport(report)) {
            took = true;
            ++reported;
            accepted += report.status == 1 ? 1 : 0;
            repeated += report.index == expectedIndex ? 0 : 1;
            expectedIndex = report.index + 1;
        }
        if (!took) {
            std::this_thread::sleep_for(100us);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();

    // Every status report shown by the modem, and read and deleted by the library (which applies
    // a report before it deletes it): its report memory is empty.
    const auto limit = Clock::now() + 10s;
    bool settled = false;
    while (!settled && Clock::now() < limit) {
        settled = statusValue(sim.control("status"), "reports_shown") >= sends &&
                  sim.control("list") == "OK\n";
        std::this_thread::sleep_for(50ms);
    }
    const long long heapAfter = heapInUse();

    int querySent = 0;
    for (int32_t index = 1; index <= sends; ++index) {
        querySent += service.query(index) == KELBRIN_QUERY_SENT ? 1 : 0;
    }
    const bool unknownBeyond = service.query(sends + 1) == KELBRIN_QUERY_UNKNOWN_INDEX;
    const std::string status = sim.control("status");
    service.stop();

    const double bytesPerSend =
        static_cast<double>(heapAfter - heapBefore) / static_cast<double>(sends);
    std::printf("kelbrin_send_memory_bench: %d sends through the service, %d outstanding at most\n",
                sends, kOutstanding);
    std::printf("  reports:   %d (%d accepted, %d out of order or repeated)\n", reported, accepted,
                repeated);
    const int shown = statusValue(status, "reports_shown");
    const int dropped = statusValue(status, "reports_dropped");
    std::printf("  status reports: %d shown by the modem, %d dropped (its report memory full)\n",
                shown, dropped);
    std::printf("  SMSQuery: %d of %d sent, index %d unknown: %s\n", querySent, sends, sends + 1,
                unknownBeyond ? "yes" : "no");
    std::printf("  heap in use (bytes): %lld after the start, %lld after the sends: %+lld\n",
                heapBefore, heapAfter, heapAfter - heapBefore);
    std::printf("  heap per finished send: %.2f bytes\n", bytesPerSend);
    std::printf("  time per send: %.1f us (%.0f sends a second)\n", seconds * 1e6 / sends,
                sends / seconds);
    bool ok = check(reported == sends && accepted == sends && repeated == 0,
                    "one accepted report per send");
    ok &= check(shown == sends && dropped == 0 && settled,
                "a status report for every send, each taken by the library");
    ok &= check(querySent == sends && unknownBeyond, "SMSQuery answers sent for every index");
    ok &= check(bytesPerSend <= kTargetBytesPerSend, "heap per finished send <= 16 bytes");
    std::printf("%s\n", ok ? "target met" : "target missed");
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
