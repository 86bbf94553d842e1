// The power side of Modem: rebooting, the SMS stack starting after the rest of the modem, the
// radio (+CFUN) and the three registrations (+CREG, +CGREG, +CEREG; 3GPP TS 27.007 §7.2, 10.1.19,
// 10.1.22).

#include "modem.h"

#include <algorithm>

namespace modemsim {

namespace {

using Form = AtCommand::Form;

bool canSendSms(int stat) {
    // 1 home, 5 roaming, 6 and 7 "registered for SMS only" (LTE modules without CS fallback).
    return stat == 1 || stat == 5 || stat == 6 || stat == 7;
}

} // namespace

void Modem::reboot(std::chrono::milliseconds silence) {
    // Whatever was in flight dies with the firmware: an open prompt, a +CMGS whose result was
    // still due, indications waiting for their moment.
    m_output.dropNotDue(m_now);
    m_reader = AtLineReader{};
    m_prompt.reset();
    m_deferredUrcs.clear();
    m_heldUrcs.clear();
    m_lateReply.reset();
    m_lateRepliesLeft = m_settings.laggingReplies;
    resetProfile();
    m_cregMode = m_cgregMode = m_ceregMode = 0;
    ++m_boots;
    m_bootedAt = m_now + silence;
    m_registeredAt = m_bootedAt + m_settings.registerDelay;
    m_timers.schedule(m_bootedAt, [this, boot = m_boots](Clock::time_point) {
        if (boot != m_boots) {
            return;
        }
        std::string lines = m_settings.bootUrcs;
        for (std::size_t start = 0; start < lines.size();) {
            std::size_t end = std::min(lines.find('\n', start), lines.size());
            if (end > start) {
                write("\r\n" + lines.substr(start, end - start) + "\r\n", m_now);
            }
            start = end + 1;
        }
        startSmsStack(m_now, true);
    });
}

void Modem::startSmsStack(Clock::time_point bootedAt, bool announce) {
    m_smsReadyAt = bootedAt + m_settings.smsReadyDelay;
    if (!announce || m_settings.smsReadyUrc.empty()) {
        return;
    }
    m_timers.schedule(m_smsReadyAt, [this, boot = m_boots](Clock::time_point) {
        if (boot == m_boots) {
            writeUnsolicited("\r\n" + m_settings.smsReadyUrc + "\r\n");
        }
    });
}

void Modem::writeUnsolicited(const std::string& wire) {
    if (m_prompt) {
        m_deferredUrcs += wire;
    } else {
        write(wire, m_now);
    }
}

Modem::Reply Modem::cfun(const AtCommand& command) {
    switch (command.form) {
    case Form::Test:
        return info({"+CFUN: (0,1,4),(0,1)"});
    case Form::Read:
        return info({"+CFUN: " + std::to_string(m_settings.functionality)});
    case Form::Execute:
        return cmeError(4);
    case Form::Set:
        break;
    }
    auto args = splitArguments(command.arguments);
    // -1: missing or not a number (plain ints, as optionals trip GCC's -Wmaybe-uninitialized).
    int level = args.empty() ? -1 : toInt(args[0]).value_or(-1);
    int restart = args.size() > 1 ? toInt(args[1]).value_or(-1) : 0;
    if ((level != 0 && level != 1 && level != 4) || args.size() > 2 ||
        (restart != 0 && restart != 1)) {
        return cmeError(3);
    }
    if (level == 1 && m_settings.functionality != 1) {
        // The radio searches for a while before it registers.
        m_registeredAt = m_now + m_settings.registerDelay;
    }
    m_settings.functionality = level;
    // AT+CFUN=<fun>,1: OK, then the modem reboots (Quectel, SIMCom).
    m_rebootAfterReply = restart == 1;
    return Reply{};
}

int Modem::visibleStat(int configuredStat) const {
    if (m_settings.functionality != 1) {
        return 0;
    }
    // Still searching: 0, or what the modem shows meanwhile (11 on a SIMCom A7670E).
    return m_now >= m_registeredAt ? configuredStat : m_settings.searchingStat;
}

bool Modem::registeredForSms() const {
    return canSendSms(visibleStat(m_settings.registration)) ||
           canSendSms(visibleStat(m_settings.gprsRegistration.value_or(m_settings.registration))) ||
           canSendSms(visibleStat(m_settings.epsRegistration));
}

Modem::Reply Modem::registrationCommand(const AtCommand& command, int& mode, int configuredStat) {
    if (command.form == Form::Test) {
        return info({command.name + ": (0-2)"});
    }
    if (command.form == Form::Read) {
        int stat = visibleStat(configuredStat);
        std::string line = command.name + ": " + std::to_string(mode) + "," + std::to_string(stat);
        if (mode == 2 && (stat == 1 || stat == 5)) {
            // Location area and cell, as a registered modem shows them with <n>=2.
            line += ",\"00C3\",\"0F5F\"";
        }
        return info({line});
    }
    auto args = splitArguments(command.arguments);
    int value = args.size() == 1 ? toInt(args[0]).value_or(-1) : -1;
    if (command.form != Form::Set || value < 0 || value > 2) {
        return cmeError(3);
    }
    mode = value;
    return Reply{};
}

} // namespace modemsim
