// kelbrin-ports: the map edit of `assign`, the by-id preference, the signal bars, and `--probe` and
// `check` run as the program against the modemsim program, silent pseudo-terminals and one held
// by another process.
#include "check_report.h"
#include "port_assignment.h"
#include "serial_devices.h"
#include "signal_level.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelbrin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TemporaryFolder {
public:
    TemporaryFolder() : m_path(::mkdtemp(m_template)) {}
    ~TemporaryFolder() { fs::remove_all(m_path); }
    const std::string& path() const { return m_path; }

private:
    char m_template[32] = "/tmp/kelbrin-ports-XXXXXX";
    std::string m_path;
};

// A pseudo-terminal nobody answers on: its master is held here and never read.
class SilentPty {
public:
    SilentPty() : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_path = ::ptsname(m_master);
    }
    ~SilentPty() { ::close(m_master); }
    SilentPty(const SilentPty&) = delete;
    SilentPty& operator=(const SilentPty&) = delete;
    const std::string& path() const { return m_path; }

private:
    int m_master;
    std::string m_path;
};

// A child process running @p program with @p arguments, killed at the end.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> arguments) : m_pid(::fork()) {
        if (m_pid == 0) {
            std::vector<char*> argv;
            for (auto& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~ChildProcess() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid;
};

TEST(AssignPort, RewritesOnlyThePortsLine) {
    struct Row {
        const char* name;
        std::string before;
        std::string after;
    };
    const std::vector<Row> rows = {
        {"replaced in place, comments kept",
         "# modems of desk 4\nCOM1 = /dev/ttyACM0\n\ncom3=/dev/ttyUSB0   # old stick\n# end\n",
         "# modems of desk 4\nCOM1 = /dev/ttyACM0\n\nCOM3 = /dev/serial/by-id/usb-X  # old "
         "stick\n# end\n"},
        {"added at the end", "# only comments\nCOM13 = /dev/ttyUSB4",
         "# only comments\nCOM13 = /dev/ttyUSB4\nCOM3 = /dev/serial/by-id/usb-X\n"},
        {"empty map", "", "COM3 = /dev/serial/by-id/usb-X\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(assignPort(row.before, 3, "/dev/serial/by-id/usb-X"), row.after) << row.name;
    }
}

TEST(ByIdLink, FindsTheLinkToTheSameDevice) {
    const TemporaryFolder byId;
    const SilentPty modem;
    const SilentPty other;
    fs::create_symlink(modem.path(), byId.path() + "/usb-Quectel_EG25-if02-port0");
    EXPECT_EQ(byIdLinkFor(modem.path(), byId.path()), byId.path() + "/usb-Quectel_EG25-if02-port0");
    EXPECT_EQ(byIdLinkFor(other.path(), byId.path()), "");
    EXPECT_EQ(byIdLinkFor(modem.path(), byId.path() + "/none"), "") << "no by-id folder";
}
struct ProgramRun {
    std::string output;
    int status = -1;
};

// The program with @p arguments, in English unless @p variables ("LANG=zh_CN.UTF-8 …") say
// otherwise: the locale of the machine running the tests does not matter.
ProgramRun runPortsProgram(const std::string& arguments,
                           const std::string& variables = "LANG=C.UTF-8") {
    ProgramRun run;
    const std::string environment = "env -u LC_ALL -u LC_MESSAGES " + variables + " ";
    FILE* program = ::popen((environment + KELBRIN_PORTS_PROGRAM " " + arguments).c_str(), "r");
    if (program == nullptr) {
        return run;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, program)) > 0;) {
        run.output.append(buffer, n);
    }
    const int status = ::pclose(program);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The modemsim program on a scenario (or, with "--replay", a trace), published at a link in
// @p folder.
class SimulatedModem {
public:
    SimulatedModem(const std::string& folder, const std::string& scenarioFile,
                   const std::string& source = "--scenario")
        : m_link(folder + "/modem"),
          m_process({MODEMSIM_PROGRAM, source, scenarioFile, "--link", m_link}) {
        for (int wait = 0; wait < 250 && !fs::exists(m_link); ++wait) {
            std::this_thread::sleep_for(20ms);
        }
    }
    const std::string& link() const { return m_link; }

private:
    std::string m_link;
    ChildProcess m_process;
};

std::string lineWith(const std::string& text, const std::string& needle) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(needle + " ") != std::string::npos) {
            return line;
        }
    }
    return {};
}

// COM1..COM30 silent, COM31 the modemsim program, COM32 held open by another process.
TEST(KelbrinPortsProgram, ProbeNamesTheModemAndPassesSilentAndHeldPortsQuickly) {
    const TemporaryFolder folder;
    const std::string link = folder.path() + "/modem";
    const ChildProcess simulator({MODEMSIM_PROGRAM, "--link", link});
    const std::vector<SilentPty> silent(30);
    const SilentPty held;
    const ChildProcess holder({"/bin/sh", "-c", "exec sleep 60 <" + held.path()});
    for (int wait = 0; wait < 250 && !(fs::exists(link) && fs::exists(held.path())); ++wait) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(fs::exists(link)) << "modemsim did not publish " << link;

    fs::create_directories(folder.path() + "/kelbrin");
    std::ofstream map(folder.path() + "/kelbrin/ports");
    map << "# a bench of silent lines\n";
    for (std::size_t i = 0; i < silent.size(); ++i) {
        map << "COM" << i + 1 << " = " << silent[i].path() << "\n";
    }
    map << "COM31 = " << link << "\nCOM32 = " << held.path() << "\n";
    map.close();
    std::this_thread::sleep_for(100ms); // the holder's shell has exec'd sleep with the pty open

    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    const auto before = std::chrono::steady_clock::now();
    const auto [output, status] = runPortsProgram("--probe");
    EXPECT_EQ(status, 0) << output;
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, 5s) << "31 ports probed at once";

    const std::string modem = lineWith(output, link);
    EXPECT_NE(modem.find(" COM31 "), std::string::npos) << output;
    EXPECT_NE(modem.find("Vantrel modemsim, IMEI 356938035643809, SIM READY, registered"),
              std::string::npos)
        << output;
    EXPECT_NE(lineWith(output, silent.front().path()).find(" COM1 "), std::string::npos) << output;
    EXPECT_NE(lineWith(output, silent.front().path()).find("no answer"), std::string::npos)
        << output;
    EXPECT_NE(lineWith(output, held.path())
                  .find("not probed: in use by process " + std::to_string(holder.pid())),
              std::string::npos)
        << output;
}

TEST(ChecklistJson, EscapesWhatTheModemSaysAndKeepsChinese) {
    ModemChecklist checklist{"COM1", {}};
    checklist.add(OperatorText(KELBRIN_TEXT("network")), Verdict::Warn,
                  OperatorText::verbatim("operator \"Tele\\2\"\tNL\n\x01"),
                  OperatorText::verbatim("信号强度"));
    EXPECT_EQ(
        checklistsJson({checklist}, TextLanguage::English),
        "{\"modems\":[{\"target\":\"COM1\",\"ok\":true,\"steps\":[{\"step\":\"network\","
        "\"verdict\":\"warn\",\"found\":\"operator \\\"Tele\\\\2\\\"\\u0009NL\\u000a\\u0001\","
        "\"fix\":\"信号强度\"}]}],\"ok\":true}\n");
}

TEST(SignalLevel, BarsAndWeaknessFollowTheRssiBands) {
    EXPECT_EQ(signalLevel(99), std::nullopt) << "not known";
    EXPECT_EQ(signalLevel(32), std::nullopt);
    struct Row {
        int rssi;
        int dbm;
        int bars;
        bool weak;
    };
    for (const Row& row : std::vector<Row>{{0, -113, 0, true},
                                           {4, -105, 1, true},
                                           {9, -95, 1, true},
                                           {10, -93, 2, false},
                                           {27, -59, 4, false},
                                           {31, -51, 5, false}}) {
        const auto level = signalLevel(row.rssi);
        ASSERT_TRUE(level) << row.rssi;
        EXPECT_EQ(level->dbm, row.dbm) << row.rssi;
        EXPECT_EQ(level->bars, row.bars) << row.rssi;
        EXPECT_EQ(level->weak, row.weak) << row.rssi;
    }
}

// The checklist's lines with their columns' padding taken out: "FAIL SIM no SIM card …".
std::vector<std::string> checklistLines(const std::string& output, const std::string& verdict) {
    std::vector<std::string> lines;
    std::istringstream text(output);
    for (std::string line; std::getline(text, line);) {
        std::string squeezed;
        for (const char c : line.substr(std::min(line.size(), std::size_t{2}))) {
            if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) {
                squeezed.push_back(c);
            }
        }
        if (squeezed.rfind(verdict + " ", 0) == 0 || squeezed.rfind("fix: ", 0) == 0 ||
            squeezed.rfind("处理：", 0) == 0) {
            lines.push_back(squeezed);
        }
    }
    return lines;
}

TEST(KelbrinPortsCheck, EveryPersonalityPassesAndEachFaultFailsItsOwnStepWithItsFix) {
    for (const auto& personality : fs::directory_iterator(MODEMSIM_SCENARIO_DIR)) {
        const TemporaryFolder folder;
        const SimulatedModem modem(folder.path(), personality.path());
        const auto [output, status] = runPortsProgram("check " + modem.link());
        EXPECT_EQ(status, 0) << output;
        EXPECT_EQ(checklistLines(output, "warn"), std::vector<std::string>{}) << output;
        EXPECT_EQ(checklistLines(output, "FAIL"), std::vector<std::string>{}) << output;
    }
    struct Row {
        const char* scenario;
        const char* verdict;
        const char* step; ///< "SIM no SIM card in the modem": name and what was found
        const char* fix;  ///< "": the step gives none
        const char* options = "";
    };
    for (const Row& row : std::vector<Row>{
             {"set sim absent", "FAIL", "SIM no SIM card in the modem", "insert one"},
             {"set sim pin", "FAIL", "SIM the SIM card asks for its PIN", "AT+CPIN="},
             {"set signal 99", "FAIL", "signal not known (+CSQ: 99)", "antenna"},
             {"set smsc \"\"", "FAIL", "service centre the SIM card holds no service centre",
              "AT+CSCA="},
             {"set storage_full on", "FAIL", "storage SM 20/20: full", "AT+CMGD"},
             {"set registration 0\nset gprs_registration 0", "FAIL",
              "network the modem is not registered", "antenna"},
             {"set signal 6", "warn", "signal -101 dBm, 1 of 5 bars", "antenna"},
             // The service falls back to ME, so a full SIM is a warning when ME has room.
             {"set capacity_sm 1\nat 0 deliver from=+31600000001 text=\"waiting\"", "warn",
              "storage SM 1/1: full; the service receives into ME", "waiting in SM"},
             {"set report failed\nset loopback +15550100", "FAIL", "report not delivered after", "",
              " --send-to +15550100"},
             // Never another command's answer: a modem that stays a command late, one whose SMS
             // stack does not come up (SIMCom A7670E answers a plain ERROR meanwhile).
             {"set lagging_replies 1000", "FAIL", "modem the modem on", "restart the modem"},
             {"set sms_ready_ms 600000\nset sms_not_ready_plain on", "FAIL",
              "PDU mode switching the modem to PDU mode (AT+CMGF=0): the modem still answered "
              "ERROR when start-up ran out of time: it may still be starting",
              ""},
         }) {
        const TemporaryFolder folder;
        std::ofstream(folder.path() + "/fault.scenario") << row.scenario << "\n";
        const SimulatedModem modem(folder.path(), folder.path() + "/fault.scenario");
        const auto [output, status] = runPortsProgram("check " + modem.link() + row.options);
        EXPECT_EQ(status, std::string(row.verdict) == "FAIL" ? 1 : 0) << output;
        // The step and its fix; a step the failure keeps from running may follow as a warning.
        const std::vector<std::string> lines = checklistLines(output, row.verdict);
        ASSERT_GE(lines.size(), *row.fix ? 2u : 1u) << row.scenario << "\n" << output;
        EXPECT_EQ(lines[0].rfind(std::string(row.verdict) + " " + row.step, 0), 0u)
            << row.scenario << "\n"
            << output;
        if (*row.fix) {
            EXPECT_NE(lines[1].find(row.fix), std::string::npos) << row.scenario << "\n" << output;
        }
        const auto failures = checklistLines(output, "FAIL");
        EXPECT_EQ(std::count_if(failures.begin(), failures.end(),
                                [](const std::string& line) { return line.rfind("FAIL", 0) == 0; }),
                  std::string(row.verdict) == "FAIL" ? 1 : 0)
            << "one step fails: " << row.scenario << "\n"
            << output;
    }
}

TEST(KelbrinPortsCheck, AllChecksEveryMappedModemSideBySide) {
    const TemporaryFolder folder;
    const std::string scenario = MODEMSIM_SCENARIO_DIR "/demo.scenario";
    const TemporaryFolder first;
    const TemporaryFolder second;
    const SimulatedModem one(first.path(), scenario);
    const SimulatedModem two(second.path(), scenario);
    fs::create_directories(folder.path() + "/kelbrin");
    std::ofstream(folder.path() + "/kelbrin/ports")
        << "COM7 = " << one.link() << "\nCOM8 = " << two.link() << "\n";
    const auto [json, status] =
        runPortsProgram("check --all --json", "LANG=en_US.UTF-8 XDG_CONFIG_HOME=" + folder.path());
    EXPECT_EQ(status, 0) << json;
    EXPECT_NE(json.find("{\"target\":\"COM7\",\"ok\":true,"), std::string::npos) << json;
    EXPECT_NE(json.find("{\"target\":\"COM8\",\"ok\":true,"), std::string::npos) << json;
    // One failing modem beside a healthy one fails the run: a rack script must see it.
    const TemporaryFolder third;
    std::ofstream(third.path() + "/absent.scenario") << "set sim absent\n";
    const SimulatedModem failing(third.path(), third.path() + "/absent.scenario");
    for (const char* format : {"", " --json"}) {
        const auto [mixed, mixedStatus] = runPortsProgram(
            "check " + one.link() + " " + failing.link() + format, "LANG=en_US.UTF-8");
        EXPECT_EQ(mixedStatus, 1) << mixed;
    }
    // The map line a port comes from is named in the program's language too.
    const auto [chinese, chineseStatus] =
        runPortsProgram("check COM7 --json", "LANG=zh_CN.UTF-8 XDG_CONFIG_HOME=" + folder.path());
    EXPECT_EQ(chineseStatus, 0) << chinese;
    EXPECT_NE(chinese.find("COM7 即 " + one.link() + "（来自 " + folder.path() +
                           "/kelbrin/ports 第 1 行）"),
              std::string::npos)
        << chinese;
}

TEST(KelbrinPortsCheck, SendToTimesTheReportAndTheMessageBackAndSetsIndicationsBack) {
    const TemporaryFolder folder;
    const SimulatedModem modem(folder.path(), MODEMSIM_SCENARIO_DIR "/demo.scenario");
    const std::string trace = folder.path() + "/check.trace";
    const auto [output, status] =
        runPortsProgram("check " + modem.link() + " --send-to +15550100 --trace " + trace);
    EXPECT_EQ(status, 0) << output;
    const std::vector<std::string> lines = checklistLines(output, "ok");
    // The seconds a step's line gives after @p start; -1 when no ok line starts so.
    const auto secondsAfter = [&lines](const std::string& start) {
        for (const std::string& line : lines) {
            if (line.rfind(start, 0) == 0) {
                return std::stod(line.substr(start.size()));
            }
        }
        return -1.0;
    };
    // The demo takes a message after 1 s, reports 3 s later and loops it back 2 s later: the
    // times are at least those, and a busy machine may add a little.
    const double sent = secondsAfter("ok send accepted by the network after ");
    const double reported = secondsAfter("ok report delivered after ");
    const double back = secondsAfter("ok reply a message from +15550100 came back after ");
    EXPECT_GE(sent, 1.0) << output;
    EXPECT_LT(sent, 2.5) << output;
    EXPECT_GE(reported, 4.0) << output;
    EXPECT_LT(reported, 5.5) << output;
    EXPECT_GE(back, 3.0) << output;
    EXPECT_LT(back, 4.5) << output;
    std::ifstream traced(trace);
    std::string lastIndications;
    for (std::string line; std::getline(traced, line);) {
        if (line.find(">> AT+CNMI=") != std::string::npos && line.find("=?") == std::string::npos) {
            lastIndications = line.substr(line.find("AT+CNMI="));
        }
    }
    EXPECT_EQ(lastIndications, "AT+CNMI=0,0,0,0,0\\r") << "as the modem had them before";
}

// The commands a trace shows the program sending.
std::vector<std::string> tracedCommands(const std::string& trace) {
    std::vector<std::string> commands;
    std::ifstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        if (const std::size_t sent = line.find(" >> AT"); sent != std::string::npos) {
            commands.push_back(line.substr(sent + 4));
        }
    }
    return commands;
}

TEST(KelbrinPortsCheck, LeavesTheModemAsItFoundIt) {
    const TemporaryFolder folder;
    // Radio off (the start-up would switch it on), a full SIM with room in ME (looked at by
    // switching the memories).
    std::ofstream(folder.path() + "/off.scenario")
        << "set cfun 0\nset capacity_sm 1\nat 0 deliver from=+31600000001 text=\"waiting\"\n";
    const SimulatedModem modem(folder.path(), folder.path() + "/off.scenario");
    const std::string trace = folder.path() + "/check.trace";
    const auto [output, status] = runPortsProgram("check " + modem.link() + " --trace " + trace);
    EXPECT_EQ(status, 1) << output;
    std::vector<std::string> memories;
    for (const std::string& command : tracedCommands(trace)) {
        EXPECT_EQ(command.rfind("AT+CFUN=", 0), std::string::npos) << command;
        if (command.rfind("AT+CPMS=\"", 0) == 0) {
            memories.push_back(command);
        }
    }
    ASSERT_FALSE(memories.empty()) << output;
    EXPECT_EQ(memories.back(), "AT+CPMS=\"SM\",\"SM\",\"SM\"\\r") << "set back as they were";

    // The same modem in text mode, which modemsim does not speak: its trace replayed with
    // "+CMGF: 1" for "+CMGF: 0".
    std::stringstream traced;
    traced << std::ifstream(trace).rdbuf();
    std::string text = traced.str();
    const std::size_t mode = text.find("+CMGF: 0");
    ASSERT_NE(mode, std::string::npos) << text;
    std::ofstream(folder.path() + "/text.trace") << text.replace(mode, 8, "+CMGF: 1");
    const TemporaryFolder replayFolder;
    const SimulatedModem replay(replayFolder.path(), folder.path() + "/text.trace", "--replay");
    const std::string replayed =
        runPortsProgram("check " + replay.link() + " --trace " + folder.path() + "/again.trace")
            .output;
    std::string lastMode;
    for (const std::string& command : tracedCommands(folder.path() + "/again.trace")) {
        if (command.rfind("AT+CMGF=", 0) == 0 && command.rfind("AT+CMGF=?", 0) != 0) {
            lastMode = command;
        }
    }
    EXPECT_EQ(lastMode, "AT+CMGF=1\\r") << "text mode set back\n" << replayed;
}

TEST(KelbrinPortsCheck, ACheckTraceReplaysToTheSameChecklist) {
    const TemporaryFolder folder;
    const std::string trace = folder.path() + "/check.trace";
    std::string recorded;
    {
        const SimulatedModem modem(folder.path(), MODEMSIM_SCENARIO_DIR "/quectel-ec25.scenario");
        recorded = runPortsProgram("check --json " + modem.link() + " --trace " + trace).output;
    }
    const TemporaryFolder replayFolder;
    const SimulatedModem replay(replayFolder.path(), trace, "--replay");
    std::string replayed = runPortsProgram("check --json " + replay.link()).output;
    // The target and the device step name the links, which differ; every step after them is
    // the traced modem's.
    const auto afterDevice = [](const std::string& json) {
        const std::size_t modemStep = json.find("{\"step\":\"modem\"");
        return modemStep == std::string::npos ? json : json.substr(modemStep);
    };
    EXPECT_EQ(afterDevice(replayed), afterDevice(recorded));
    EXPECT_NE(recorded.find("\"ok\":true}"), std::string::npos) << recorded;
}

TEST(KelbrinPortsCheck, SpeaksTheConsolesLanguageWithJsonKeysAndStepNamesInEnglish) {
    const TemporaryFolder folder;
    std::ofstream(folder.path() + "/pin.scenario") << "set sim pin\n";
    const SimulatedModem modem(folder.path(), folder.path() + "/pin.scenario");
    struct Row {
        const char* locale;
        const char* found;
    };
    for (const Row& row : std::vector<Row>{
             {"zh_CN.UTF-8", "\"found\":\"SIM 卡要求输入 PIN 码（SIM PIN）\""},
             {"zh_TW", "\"found\":\"SIM 卡要求输入 PIN 码（SIM PIN）\""},
             {"zh_HK.UTF-8", "\"found\":\"SIM 卡要求输入 PIN 码（SIM PIN）\""},
             {"en_US.UTF-8", "\"found\":\"the SIM card asks for its PIN (SIM PIN)\""},
         }) {
        const auto [json, status] =
            runPortsProgram("check --json " + modem.link(), "LANG=" + std::string(row.locale));
        EXPECT_EQ(status, 1) << json;
        EXPECT_NE(json.find("{\"step\":\"SIM\",\"verdict\":\"fail\"," + std::string(row.found)),
                  std::string::npos)
            << row.locale << "\n"
            << json;
    }
    const auto [text, status] = runPortsProgram("check " + modem.link(), "LANG=zh_CN.UTF-8");
    const std::vector<std::string> failed = checklistLines(text, "FAIL");
    ASSERT_GE(failed.size(), 2u) << text;
    EXPECT_EQ(failed[0], "FAIL SIM 卡 SIM 卡要求输入 PIN 码（SIM PIN）") << text;
    EXPECT_EQ(failed[1].rfind("处理：请用 AT+CPIN=", 0), 0u) << text;
}

} // namespace
} // namespace kelbrin
