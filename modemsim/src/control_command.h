#pragma once

#include "modemsim/scenario.h"
#include "modemsim/stored_message.h"

#include <chrono>
#include <string>
#include <string_view>
#include <variant>

namespace modemsim {

// One line of the control language, shared by scenario files and the control channel.
struct SetCommand {
    std::string name;
    std::string value;
};
struct DeliverCommand {
    IncomingMessage message; // through the network: stored and indicated as AT+CNMI asks
};
struct StoreCommand {
    IncomingMessage message;                       // straight into memory, without an indication
    MessageStat stat{MessageStat::ReceivedUnread}; // received unread or read
};
// A message the user keeps on the modem, put into the write memory as AT+CMGW would: an
// SMS-SUBMIT stored unsent (a draft) or stored sent. No service takes these.
struct StoreSubmitCommand {
    std::string recipient;
    std::string text;
    MessageStat stat{MessageStat::StoredUnsent};
};
struct FailNextSendCommand {
    int code{500};
};
struct HangUpCommand {};
// The modem reboots: silent for a while, then the boot URCs and its power-up profile.
struct ResetCommand {
    std::chrono::milliseconds silence{1000};
};
// Unplugged: the terminal hangs up, and after `away` a new terminal appears behind the same link
// (a USB modem re-enumerated), the modem booting on it with its storage kept. A non-empty `imei`
// is another modem plugged into the same socket.
struct ReplugCommand {
    std::chrono::milliseconds away{2000};
    std::string imei;
};
struct RawCommand {
    std::string bytes; // written to the line as they are
};
struct StatusCommand {};
struct ListCommand {};
struct ScheduleCommand {
    ScriptedCommand scripted;
};

using ControlCommand = std::variant<SetCommand, DeliverCommand, StoreCommand, StoreSubmitCommand,
                                    FailNextSendCommand, HangUpCommand, ResetCommand, ReplugCommand,
                                    RawCommand, StatusCommand, ListCommand, ScheduleCommand>;

struct ParsedCommand {
    std::variant<ControlCommand, std::string> value; // the command, or why the line is wrong
    bool ok() const { return value.index() == 0; }
    const ControlCommand& command() const { return std::get<ControlCommand>(value); }
    const std::string& error() const { return std::get<std::string>(value); }
};

// Blank lines and lines starting with '#' are not commands: check isCommentOrBlank first.
bool isCommentOrBlank(std::string_view line);
ParsedCommand parseControlLine(std::string_view line);

} // namespace modemsim
