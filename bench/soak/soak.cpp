// Soak: libkelbrin.so against the modemsim program for minutes on end, through the seven entry
// points, as a client faster than the console (a poll every 100 ms). The simulator delivers a
// uniquely numbered message every 250 ms (every tenth a long one), the client sends every 500 ms
// to a number that does not come back, and the modem is unplugged every 60 s for 2 s. Then
// deliveries stop and the soak drains until the simulator holds nothing and two polls come back
// empty. It prints the figures and exits non-zero when a target is missed:
// 0 lost, 0 duplicated, exactly one report per send, RSS growth <= 1 MiB after the first minute.
// The RSS and the heap in use at the end of each minute show whether a growth levels off. The
// library's trace goes to a file in /tmp, named at the end, to look up what went wrong.
//
//   kelbrin_soak [--minutes N]

#include "simulator_process.h"

#include "kelbrin.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPollEvery = 100ms;
constexpr auto kDeliverEvery = 250ms;
constexpr auto kSendEvery = 500ms;
constexpr auto kReplugEvery = 60s;
constexpr int kAwayMs = 2000;
constexpr auto kDrainLimit = 5min;
constexpr long kRssGrowthLimitKiB = 1024;

// Heap in use by the process (the library's, the soak's tables being sized at the start): every
// malloc arena and the blocks mapped on their own. Unlike the RSS, it does not count pages that
// freed blocks leave behind.
long heapKiB() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

struct Library {
    SMSStartServiceFn start;
    SMSStopSericeFn stop;
    SMSSendMessageFn send;
    SMSGetNextMessageFn next;
    SMSReportFn report;
    SMSGetLastErrorFn lastError;
};

template <typename Fn> Fn lookUp(void* handle, const char* name) {
    auto* symbol = ::dlsym(handle, name);
    if (symbol == nullptr) {
        std::fprintf(stderr, "soak: %s missing\n", name);
        std::exit(2);
    }
    return reinterpret_cast<Fn>(symbol);
}

std::string field(const char* text, std::size_t width) {
    return std::string(text, ::strnlen(text, width));
}

// Every figure the soak prints. Its tables are sized for the whole run at the start, so that the
// RSS it measures grows only with the library.
struct Tally {
    explicit Tally(int minutes)
        : deliveredOk(static_cast<std::size_t>(minutes) * 60 * 4 + 16),
          receivedCount(deliveredOk.size()),
          reportCount(static_cast<std::size_t>(minutes) * 60 * 2 + 16) {
        byMinute.reserve(static_cast<std::size_t>(minutes) + 1);
    }

    int sends = 0;
    int reports = 0;
    int sent = 0;
    std::vector<int32_t> failedSends; ///< SMSSendMessage indices of sends reported failed
    int replugs = 0;
    int delivered = 0;
    int garbled = 0;               ///< texts received that the simulator never delivered
    std::vector<bool> deliveredOk; ///< by delivery number
    std::vector<uint8_t> receivedCount;
    std::vector<uint8_t> reportCount; ///< by SMSSendMessage index
    int repeatedReports = 0;
    long rssStart = 0;
    long rssMinute = 0;
    long rssEnd = 0;
    /// RSS and heap in use (KiB) at the end of each minute: whether a growth levels off.
    std::vector<std::pair<long, long>> byMinute;
};

std::string deliveryText(int number) {
    char head[32];
    std::snprintf(head, sizeof head, "soak %06d", number);
    std::string text = head;
    if (number % 10 == 0) {
        text += " long:";
        while (text.size() < 300) {
            text += " the quick brown fox";
        }
    }
    return text;
}

// The client side: takes every record and report there is, joining continuation records.
class Client {
public:
    Client(const Library& lib, Tally& tally) : m_lib(lib), m_tally(tally) {}

    // True when the poll took anything.
    bool poll() {
        bool took = false;
        SMSMessageRecord record{};
        while (m_lib.next(&record) == 1) {
            took = true;
            const std::string text = field(record.text, sizeof record.text);
            m_partial += text;
            // A record filled to its last byte continues in the next one.
            if (text.size() < sizeof record.text - 1) {
                countReceived(m_partial);
                m_partial.clear();
            }
        }
        SMSReportRecord report{};
        while (m_lib.report(&report) == 1) {
            took = true;
            ++m_tally.reports;
            const auto index = static_cast<std::size_t>(report.index);
            if (index >= m_tally.reportCount.size() || ++m_tally.reportCount[index] > 1) {
                ++m_tally.repeatedReports;
            }
            if (report.status != 0) {
                ++m_tally.sent;
            } else {
                m_tally.failedSends.push_back(report.index);
            }
        }
        return took;
    }

private:
    void countReceived(const std::string& text) {
        const int number = std::atoi(text.c_str() + std::strlen("soak "));
        const auto slot = static_cast<std::size_t>(number);
        if (text.rfind("soak ", 0) != 0 || slot >= m_tally.receivedCount.size() ||
            text != deliveryText(number)) {
            ++m_tally.garbled;
            return;
        }
        if (m_tally.receivedCount[slot] < UINT8_MAX) {
            ++m_tally.receivedCount[slot];
        }
    }

    const Library& m_lib;
    Tally& m_tally;
    std::string m_partial;
};

// Failed sends whose outcome is unknown: the message went out, then the modem was lost before
// its result came. The last error has moved on by the time a client sees the report; the
// library's trace keeps the reason of each send it failed.
std::set<int32_t> unknownOutcomes(const std::string& tracePath) {
    static const std::string kSending = " -- sending message ";
    std::set<int32_t> unknown;
    std::ifstream trace(tracePath);
    for (std::string line; std::getline(trace, line);) {
        const auto at = line.find(kSending);
        if (at != std::string::npos && line.find("the outcome is unknown") != std::string::npos) {
            unknown.insert(std::atoi(line.c_str() + at + kSending.size()));
        }
    }
    return unknown;
}

int statusValue(const std::string& status, const std::string& name) {
    const auto at = status.find(name + " ");
    return at == std::string::npos ? -1 : std::atoi(status.c_str() + at + name.size() + 1);
}

bool simulatorEmpty(soak::SimulatorProcess& sim) {
    return sim.control("list") == "OK\n" && statusValue(sim.control("status"), "waiting") == 0;
}

} // namespace

int main(int argc, char** argv) {
    int minutes = 10;
    if (argc == 3 && std::strcmp(argv[1], "--minutes") == 0) {
        minutes = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: kelbrin_soak [--minutes N]\n");
        return 2;
    }
    soak::SimulatorProcess sim(MODEMSIM_PROGRAM);
    ::setenv("KELBRIN_COM1", sim.linkPath().c_str(), 1);
    char tracePath[] = "/tmp/kelbrin-soak-trace-XXXXXX";
    const int traceFile = ::mkstemp(tracePath);
    if (traceFile < 0) {
        std::perror("soak: trace file");
        return 2;
    }
    ::close(traceFile);
    ::setenv("KELBRIN_TRACE", tracePath, 1);
    void* handle = ::dlopen(KELBRIN_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "soak: %s\n", ::dlerror());
        return 2;
    }
    const Library lib{lookUp<SMSStartServiceFn>(handle, "SMSStartService"),
                      lookUp<SMSStopSericeFn>(handle, "SMSStopSerice"),
                      lookUp<SMSSendMessageFn>(handle, "SMSSendMessage"),
                      lookUp<SMSGetNextMessageFn>(handle, "SMSGetNextMessage"),
                      lookUp<SMSReportFn>(handle, "SMSReport"),
                      lookUp<SMSGetLastErrorFn>(handle, "SMSGetLastError")};
    if (lib.start(1, 115200, 2, 8, 0, 0, "card") != 1) {
        char error[KELBRIN_ERROR_TEXT_SIZE] = {};
        lib.lastError(error);
        std::fprintf(stderr, "soak: start failed: %s\n", error);
        return 1;
    }
    Tally tally(minutes);
    Client client(lib, tally);
    tally.rssStart = residentKiB();
    bool replugAvailable = true;

    const auto begin = Clock::now();
    const auto end = begin + std::chrono::minutes(minutes);
    auto nextDeliver = begin;
    auto nextSend = begin;
    auto nextReplug = begin + kReplugEvery;
    auto nextPoll = begin;
    bool minuteTaken = false;
    while (Clock::now() < end) {
        const auto now = Clock::now();
        if (now >= nextDeliver) {
            const int number = ++tally.delivered;
            if (sim.control("deliver from=+4915550123 text=\"" + deliveryText(number) + "\"") ==
                "OK\n") {
                tally.deliveredOk.at(static_cast<std::size_t>(number)) = true;
            }
            nextDeliver += kDeliverEvery;
        }
        if (now >= nextSend) {
            std::string text = "soak send " + std::to_string(++tally.sends);
            std::string number = "+4915550999";
            lib.send(text.data(), number.data());
            nextSend += kSendEvery;
        }
        if (replugAvailable && now >= nextReplug) {
            if (sim.control("replug " + std::to_string(kAwayMs)) == "OK\n") {
                ++tally.replugs;
            } else {
                replugAvailable = false;
            }
            nextReplug += kReplugEvery;
        }
        if (now >= nextPoll) {
            client.poll();
            nextPoll += kPollEvery;
        }
        if (now >= begin + std::chrono::minutes(tally.byMinute.size() + 1)) {
            tally.byMinute.emplace_back(residentKiB(), heapKiB());
            if (!minuteTaken) {
                tally.rssMinute = tally.byMinute.back().first;
                minuteTaken = true;
            }
        }
        std::this_thread::sleep_until(std::min({nextDeliver, nextSend, nextPoll}));
    }

    // Drain: until the simulator holds nothing, every send has its report and two polls in a
    // row took nothing.
    const auto drainEnd = Clock::now() + kDrainLimit;
    int emptyPolls = 0;
    while (Clock::now() < drainEnd && emptyPolls < 2) {
        std::this_thread::sleep_for(kPollEvery);
        const bool took = client.poll();
        const bool settled = !took && tally.reports >= tally.sends && simulatorEmpty(sim);
        emptyPolls = settled ? emptyPolls + 1 : 0;
    }
    tally.rssEnd = residentKiB();
    lib.stop();

    int deliveredCount = 0;
    int receivedCount = 0;
    long duplicates = 0;
    int lost = 0;
    std::string lostNames;
    for (std::size_t number = 0; number < tally.deliveredOk.size(); ++number) {
        const int copies = tally.receivedCount[number];
        receivedCount += copies;
        duplicates += copies > 1 ? copies - 1 : 0;
        if (!tally.deliveredOk[number]) {
            continue;
        }
        ++deliveredCount;
        // The first few by their number, to look them up in the traces.
        if (copies == 0 && ++lost <= 10) {
            lostNames += " " + std::to_string(number);
        }
    }
    const double ran = std::chrono::duration<double>(Clock::now() - begin).count() / 60.0;
    std::printf("soak: %d minute(s) of traffic, %.1f minutes with the drain\n", minutes, ran);
    std::printf("  replugs:   %s\n", replugAvailable
                                         ? std::to_string(tally.replugs).c_str()
                                         : "none (this modemsim has no replug command)");
    std::printf("  sends:     %d\n", tally.sends);
    const std::set<int32_t> unknown = unknownOutcomes(tracePath);
    const auto unknownCount =
        std::count_if(tally.failedSends.begin(), tally.failedSends.end(),
                      [&](int32_t index) { return unknown.count(index) > 0; });
    std::printf("  reports:   %d (sent %d, failed %ld, unknown %ld; %d repeated)\n", tally.reports,
                tally.sent, static_cast<long>(tally.failedSends.size()) - unknownCount,
                unknownCount, tally.repeatedReports);
    std::printf("  delivered: %d\n", deliveredCount);
    std::printf("  received:  %d (%d garbled)\n", receivedCount, tally.garbled);
    std::printf("  duplicates: %ld\n", duplicates);
    std::printf("  lost:      %d%s\n", lost, lostNames.c_str());
    std::printf("  RSS (KiB): start %ld, after the first minute %s, end %ld\n", tally.rssStart,
                minuteTaken ? std::to_string(tally.rssMinute).c_str() : "(run shorter)",
                tally.rssEnd);
    std::printf("  by minute (RSS/heap KiB):");
    for (const auto& [rss, heap] : tally.byMinute) {
        std::printf(" %ld/%ld", rss, heap);
    }
    std::printf("\n");

    std::printf("  library trace: %s\n", tracePath);

    bool met = true;
    const auto check = [&met](bool ok, const char* what) {
        std::printf("  %s: %s\n", what, ok ? "met" : "MISSED");
        met = met && ok;
    };
    check(lost == 0 && tally.garbled == 0, "0 lost, 0 garbled");
    check(duplicates == 0, "0 duplicated");
    check(tally.reports == tally.sends && tally.repeatedReports == 0, "one report per send");
    if (minuteTaken) {
        check(tally.rssEnd - tally.rssMinute <= kRssGrowthLimitKiB,
              "RSS growth <= 1 MiB after the first minute");
    }
    return met ? 0 : 1;
}
