// The AT command table of Modem: what each command answers (3GPP TS 27.005 and 27.007).

#include "modem.h"

#include <cctype>
#include <set>

namespace modemsim {

namespace {

using Form = AtCommand::Form;

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// 27.007 <type> of a number: 145 international ('+'), 129 otherwise.
std::string numberType(const std::string& number) {
    return !number.empty() && number[0] == '+' ? "145" : "129";
}

std::string upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// Commands that talk to the SIM and so fail while it is busy, locked or missing.
bool needsSim(const std::string& name) {
    static const std::set<std::string> names = {"+CPIN", "+CMGF", "+CSMS", "+CPMS",
                                                "+CNMI", "+CMGL", "+CMGR", "+CMGD",
                                                "+CMGS", "+CMGW", "+CSCA"};
    return names.count(name) != 0;
}

} // namespace

void Modem::resetProfile() {
    m_echo = true;
    setResultMode(ResultMode::Verbose);
    m_cmee = 0;
    m_charset = "IRA";
    m_cnmi = {0, 0, 0, 0, 0};
    m_memories = {"SM", "SM", "SM"};
    m_copsFormat = 0;
    m_flowControl = {2, 2};
    m_clip = 0;
}

Modem::Reply Modem::basicCommands(std::string_view body) {
    // V.250 basic commands may be chained: "E0V1".
    Reply reply;
    std::size_t i = 0;
    while (i < body.size()) {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(body[i++])));
        if (letter == '&' && i < body.size()) {
            letter = static_cast<char>(std::tolower(static_cast<unsigned char>(body[i++])));
        }
        std::string digits;
        while (i < body.size() && std::isdigit(static_cast<unsigned char>(body[i]))) {
            digits.push_back(body[i++]);
        }
        int value = digits.empty() ? 0 : toInt(digits).value_or(-1);
        if (letter == 'E' && (value == 0 || value == 1)) {
            m_echo = value == 1 || m_faults.echoStuck;
        } else if (letter == 'V' && (value == 0 || value == 1)) {
            m_verboseResults = value == 1;
        } else if (letter == 'Q' && (value == 0 || value == 1)) {
            m_quietResults = value == 1;
        } else if ((letter == 'Z' || letter == 'f') && value == 0) {
            if (m_faults.atzError) {
                return finalResult("ERROR");
            }
            resetProfile();
        } else if (letter == 'I' && value == 0) {
            reply.lines = {m_settings.manufacturer, m_settings.model,
                           "Revision: " + m_settings.revision};
        } else {
            return finalResult(m_faults.commandNotSupport ? "COMMAND NOT SUPPORT" : "ERROR");
        }
    }
    return reply;
}

std::optional<Modem::Reply> Modem::simGate(const AtCommand& command, bool smsCommand) {
    if (!needsSim(command.name) || command.form == Form::Test) {
        return std::nullopt;
    }
    if (m_faults.simBusyCommands > 0) {
        // Qualcomm M6280: +CME ERROR: 14 for every SIM command for seconds after boot.
        --m_faults.simBusyCommands;
        return cmeError(14);
    }
    if (m_settings.sim == SimState::Absent) {
        return smsCommand ? cmsError(310) : cmeError(10);
    }
    if (m_settings.sim == SimState::PinRequired && command.name != "+CPIN") {
        return smsCommand ? cmsError(311) : cmeError(11);
    }
    if (smsCommand && !smsStackReady()) {
        // SIM800 before "SMS Ready", Quectel before "+QIND: SMS DONE"; a SIMCom A7670E says
        // only ERROR (LilyGo-Modem-Series issue 247).
        return m_faults.smsNotReadyPlain ? finalResult("ERROR") : cmsError(500);
    }
    return std::nullopt;
}

Modem::Reply Modem::extendedCommand(const AtCommand& command) {
    const std::string& name = command.name;
    if (auto refused = simGate(command, name != "+CPIN")) {
        return *refused;
    }
    auto args = splitArguments(command.arguments);
    auto firstInt = [&]() { return args.empty() ? std::nullopt : toInt(args[0]); };
    Form form = command.form;

    if (name == "+CMEE") {
        if (form == Form::Test) {
            return info({"+CMEE: (0-2)"});
        }
        if (form == Form::Read) {
            return info({"+CMEE: " + std::to_string(m_cmee)});
        }
        auto mode = form == Form::Execute ? std::optional<int>(0) : firstInt();
        if (!mode || *mode < 0 || *mode > 2) {
            return cmeError(3);
        }
        m_cmee = *mode;
        return Reply{};
    }
    if (name == "+CPIN") {
        return cpin(command);
    }
    if (name == "+CMGF") {
        if (form == Form::Test) {
            return info({"+CMGF: (0)"});
        }
        if (form == Form::Read) {
            return info({"+CMGF: 0"});
        }
        // PDU mode only: the library never asks for text mode.
        return form == Form::Set && firstInt() == 0 ? Reply{} : cmsError(303);
    }
    if (name == "+CSMS") {
        if (form == Form::Test) {
            return info({"+CSMS: (0,1)"});
        }
        if (form == Form::Read) {
            return info(
                {"+CSMS: " + std::to_string(m_faults.csmsStuck ? 1 : m_csmsService) + ",1,1,1"});
        }
        auto service = firstInt();
        if (form != Form::Set || !service || *service < 0 || *service > 1 ||
            (m_faults.csmsStuck && *service != 1)) {
            return cmsError(303);
        }
        m_csmsService = *service;
        return info({"+CSMS: 1,1,1"});
    }
    if (name == "+CPMS") {
        return cpms(command);
    }
    if (name == "+CNMI") {
        return cnmi(command);
    }
    if (name == "+CMGL") {
        return cmgl(command);
    }
    if (name == "+CMGR") {
        return cmgr(command);
    }
    if (name == "+CMGD") {
        return cmgd(command);
    }
    if (name == "+CMGS") {
        return openPrompt(command, PromptFor::Send);
    }
    if (name == "+CMGW") {
        return openPrompt(command, PromptFor::Write);
    }
    if (name == "+CSCA") {
        if (form == Form::Read) {
            return info({"+CSCA: " + quoted(m_settings.smsc) + "," + numberType(m_settings.smsc)});
        }
        if (form == Form::Set && !args.empty()) {
            m_settings.smsc = args[0];
            return Reply{};
        }
        return form == Form::Test ? Reply{} : cmsError(302);
    }
    if (name == "+CSQ") {
        if (form == Form::Test) {
            return info({"+CSQ: (0-31,99),(0-7,99)"});
        }
        int rssi = m_settings.functionality == 1 ? m_settings.signal : 99; // 99: not known
        return form == Form::Execute ? info({"+CSQ: " + std::to_string(rssi) + ",99"})
                                     : cmeError(4);
    }
    if (name == "+CREG") {
        return registrationCommand(command, m_cregMode, m_settings.registration);
    }
    if (name == "+CGREG") {
        return registrationCommand(command, m_cgregMode,
                                   m_settings.gprsRegistration.value_or(m_settings.registration));
    }
    if (name == "+CEREG") {
        return registrationCommand(command, m_ceregMode, m_settings.epsRegistration);
    }
    if (name == "+COPS") {
        return cops(command);
    }
    if (name == "+CNMA") {
        return cnma(command);
    }
    if (name == "+IFC" || name == "+CBC" || name == "+CLCK" || name == "+CLIP") {
        return commonCommand(command);
    }
    if (name == "+CNUM") {
        if (form == Form::Test) {
            return Reply{};
        }
        if (form != Form::Execute) {
            return cmeError(4);
        }
        if (m_settings.ownNumber.empty()) {
            return Reply{};
        }
        return info(
            {"+CNUM: ," + quoted(m_settings.ownNumber) + "," + numberType(m_settings.ownNumber)});
    }
    if (name == "+CFUN") {
        return cfun(command);
    }
    if (name == "+CSCS") {
        return cscs(command);
    }
    if (name == "^CURC" || name == "^PORTSEL") {
        return huaweiSwitch(command);
    }
    // 27.007 §5.1-5.4 and §5.6, and V.250 §6.1.4-6.1.7 (+GMI, +GMM, +GMR, +GSN): the same text.
    static const std::set<std::string> identification = {
        "+CGMI", "+CGMM", "+CGMR", "+CGSN", "+CIMI", "+GMI", "+GMM", "+GMR", "+GSN"};
    if (identification.count(name) != 0) {
        if (form == Form::Test) {
            return Reply{};
        }
        if (form != Form::Execute) {
            return cmeError(4);
        }
        const char kind = name[name.size() - 1];
        const std::string& value = name == "+CIMI" ? m_settings.imsi
                                   : kind == 'I'   ? m_settings.manufacturer
                                   : kind == 'M'   ? m_settings.model
                                   : kind == 'R'   ? m_settings.revision
                                                   : m_settings.imei;
        return info({value});
    }
    return finalResult(m_faults.commandNotSupport ? "COMMAND NOT SUPPORT" : "ERROR");
}

Modem::Reply Modem::cops(const AtCommand& command) {
    auto registered = [](int stat) { return stat == 1 || stat == 5; };
    bool onLte = registered(visibleStat(m_settings.epsRegistration));
    bool selected =
        onLte || registered(visibleStat(m_settings.registration)) ||
        registered(visibleStat(m_settings.gprsRegistration.value_or(m_settings.registration)));
    // <AcT> 7 (E-UTRAN) on LTE, else 0 (GSM): the settings do not tell 2G from 3G.
    const std::string act = onLte ? "7" : "0";
    auto args = splitArguments(command.arguments);
    switch (command.form) {
    case Form::Test: {
        // The operators found: ours, <stat> 2 (current) while registered, else 1 (available);
        // none with the radio off. Then the modes and formats (27.007 §7.3; Telit GM862-QUAD
        // software user guide §2.5.3.2 shows the form).
        std::string found;
        if (m_settings.functionality == 1) {
            found = "(" + std::string(selected ? "2" : "1") + "," +
                    quoted(m_settings.operatorName) + "," + quoted(m_settings.operatorShortName) +
                    "," + quoted(m_settings.operatorNumeric) + "," + act + ")";
        }
        return info({"+COPS: " + found + ",,(0-4),(0-2)"});
    }
    case Form::Read:
        break;
    case Form::Execute:
        return cmeError(4);
    case Form::Set: {
        // Automatic selection (0) and "set only <format>" (3) with the format for +COPS?; a
        // manual choice or a deregistration is not taken.
        int mode = args.empty() ? -1 : toInt(args[0]).value_or(-1);
        int format = args.size() > 1 ? toInt(args[1]).value_or(-1) : m_copsFormat;
        if ((mode != 0 && mode != 3) || args.size() > 2 || (mode == 3 && args.size() != 2)) {
            return cmeError(4);
        }
        if (format < 0 || format > 2) {
            return cmeError(3);
        }
        m_copsFormat = format;
        return Reply{};
    }
    }
    if (!selected) {
        return info({"+COPS: 0"});
    }
    const std::string& name = m_copsFormat == 1   ? m_settings.operatorShortName
                              : m_copsFormat == 2 ? m_settings.operatorNumeric
                                                  : m_settings.operatorName;
    return info({"+COPS: 0," + std::to_string(m_copsFormat) + "," + quoted(name) + "," + act});
}

Modem::Reply Modem::cnma(const AtCommand& command) {
    // 27.005 §3.4.4 in PDU mode: AT+CNMA[=<n>[,<length>]], n 0 or 1 RP-ACK, 2 RP-ERROR (Telit
    // LE910 V2 AT reference, Siemens MC55 AT manual §13.10). An acknowledgement TPDU
    // (<length> > 0) is not taken.
    if (command.form == Form::Test) {
        return info({"+CNMA: (0-2)"});
    }
    auto args = splitArguments(command.arguments);
    int kind = command.form == Form::Execute ? 0 : args.empty() ? -1 : toInt(args[0]).value_or(-1);
    int length = args.size() > 1 ? toInt(args[1]).value_or(-1) : 0;
    if (command.form == Form::Read || kind < 0 || kind > 2 || args.size() > 2 || length < 0) {
        return cmsError(302);
    }
    if (length > 0) {
        return cmsError(303);
    }
    if (!m_unacknowledged) {
        return cmsError(340);
    }
    Routed done = *std::exchange(m_unacknowledged, std::nullopt);
    if (kind == 2) {
        // RP-ERROR: the network keeps it and tries again later.
        m_timers.schedule(m_now + m_settings.acknowledgeTimeout,
                          [this, done](Clock::time_point) { deliverAgain(done); });
    }
    if (!m_routedWaiting.empty()) {
        // The next one follows this command's OK.
        m_timers.schedule(m_now, [this](Clock::time_point) {
            if (!m_unacknowledged && !m_routedWaiting.empty()) {
                Routed next = m_routedWaiting.front();
                m_routedWaiting.pop_front();
                route(next);
            }
        });
    }
    return Reply{};
}

Modem::Reply Modem::commonCommand(const AtCommand& command) {
    const std::string& name = command.name;
    const Form form = command.form;
    auto args = splitArguments(command.arguments);
    auto argument = [&](std::size_t i, int fallback) {
        return i < args.size() && !args[i].empty() ? toInt(args[i]) : std::optional<int>(fallback);
    };
    if (name == "+IFC") {
        // V.250 §6.2.12: <DCE_by_DTE> 0 none, 1 XON/XOFF, 2 RTS, 3 XON/XOFF passed on;
        // <DTE_by_DCE> 0 none, 1 XON/XOFF, 2 CTS. Kannel sends AT+IFC=2,2. Remembered only: the
        // pseudo-terminal has no flow control lines.
        if (form == Form::Test) {
            return info({"+IFC: (0-3),(0-2)"});
        }
        if (form == Form::Read) {
            return info({"+IFC: " + std::to_string(m_flowControl[0]) + "," +
                         std::to_string(m_flowControl[1])});
        }
        auto byTerminal = argument(0, 2);
        auto byModem = argument(1, 2);
        if (args.size() > 2 || !byTerminal || *byTerminal < 0 || *byTerminal > 3 || !byModem ||
            *byModem < 0 || *byModem > 2) {
            return finalResult("ERROR");
        }
        m_flowControl = {*byTerminal, *byModem};
        return Reply{};
    }
    if (name == "+CBC") {
        // 27.007 §8.4 <bcs>,<bcl>: 2 "no battery connected", charge 0, as a Huawei E1752 answers
        // on USB power (gammu issue 126) and a module on a supply would.
        if (form == Form::Test) {
            return info({"+CBC: (0-3),(0-100)"});
        }
        return form == Form::Execute ? info({"+CBC: 2,0"}) : cmeError(4);
    }
    if (name == "+CLCK") {
        // 27.007 §7.4: the facilities (Enfora GSM1308 AT reference lists the same), and a query
        // (<mode> 2) of one: only the SIM PIN ("SC") is on, while the SIM asks for its PIN.
        if (form == Form::Test) {
            return info({"+CLCK: (\"SC\",\"AO\",\"OI\",\"OX\",\"AI\",\"IR\",\"AB\",\"AG\","
                         "\"AC\",\"FD\",\"PN\")"});
        }
        static const std::set<std::string> facilities = {"SC", "AO", "OI", "OX", "AI", "IR",
                                                         "AB", "AG", "AC", "FD", "PN"};
        if (form != Form::Set || args.size() < 2 || facilities.count(upper(args[0])) == 0) {
            return cmeError(form == Form::Set ? 3 : 4);
        }
        if (argument(1, -1) != 2) {
            return cmeError(4); // locking and unlocking are not modelled
        }
        bool on = upper(args[0]) == "SC" && m_settings.sim == SimState::PinRequired;
        return info({std::string("+CLCK: ") + (on ? "1" : "0")});
    }
    // +CLIP, 27.007 §7.6: <n> presentation to the terminal off or on, <m> 1: provisioned
    // (Siemens MC35i AT command set §9.9 for the forms).
    if (form == Form::Test) {
        return info({"+CLIP: (0,1)"});
    }
    if (form == Form::Read) {
        return info({"+CLIP: " + std::to_string(m_clip) + ",1"});
    }
    auto presentation = argument(0, 0);
    if (form != Form::Set || args.size() > 1 || !presentation || *presentation < 0 ||
        *presentation > 1) {
        return cmeError(form == Form::Set ? 3 : 4);
    }
    m_clip = *presentation;
    return Reply{};
}

Modem::Reply Modem::huaweiSwitch(const AtCommand& command) {
    // ^CURC: periodic unsolicited reports (^RSSI, ^DSFLOWRPT) on or off; ^PORTSEL: the port that
    // gets them, moot with one port. Gammu and ModemManager send AT^CURC=0 and AT^PORTSEL to a
    // Huawei modem (gammu atgen.c, ModemManager mm-plugin-huawei.c).
    bool curc = command.name == "^CURC";
    switch (command.form) {
    case Form::Test:
        return info({command.name + ": (0-1)"});
    case Form::Read:
        return info({command.name + ": " + (curc && m_faults.urcFlood ? "1" : "0")});
    case Form::Execute:
        return cmeError(4);
    case Form::Set:
        break;
    }
    auto args = splitArguments(command.arguments);
    int value = args.size() == 1 ? toInt(args[0]).value_or(-1) : -1;
    if (value != 0 && value != 1) {
        return cmeError(3);
    }
    if (curc) {
        m_faults.urcFlood = value == 1;
        armFloodTimer();
    }
    return Reply{};
}

Modem::Reply Modem::cscs(const AtCommand& command) {
    // The TE character set (27.007 §5.5). PDU mode does not use it; clients set it anyway.
    static const std::set<std::string> sets = {"GSM", "IRA", "UCS2"};
    switch (command.form) {
    case Form::Test:
        return info({"+CSCS: (\"GSM\",\"IRA\",\"UCS2\")"});
    case Form::Read:
        return info({"+CSCS: " + quoted(m_charset)});
    case Form::Execute:
        return cmeError(4);
    case Form::Set:
        break;
    }
    auto args = splitArguments(command.arguments);
    if (args.size() != 1 || sets.count(upper(args[0])) == 0) {
        return cmeError(3);
    }
    m_charset = upper(args[0]);
    return Reply{};
}

Modem::Reply Modem::cpin(const AtCommand& command) {
    if (command.form == Form::Test) {
        return Reply{};
    }
    if (command.form == Form::Set) {
        if (m_settings.sim != SimState::PinRequired) {
            return cmeError(3);
        }
        m_settings.sim = SimState::Ready;
        return Reply{};
    }
    if (command.form != Form::Read) {
        return cmeError(4);
    }
    if (m_settings.sim == SimState::Absent) {
        return cmeError(10);
    }
    Reply reply = info({m_settings.sim == SimState::Ready ? "+CPIN: READY" : "+CPIN: SIM PIN"});
    if (m_faults.cpinWithoutOk) {
        // Wavecom Multiband answers the query and never sends a final result.
        reply.final.reset();
    }
    return reply;
}

Modem::Reply Modem::cpms(const AtCommand& command) {
    auto usage = [this](const std::string& memory) {
        int used = memoryFull(memory) ? m_store.capacity(memory) : m_store.used(memory);
        return std::to_string(used) + "," + std::to_string(m_store.capacity(memory));
    };
    switch (command.form) {
    case Form::Test:
        return info({m_faults.narrowRanges
                         ? "+CPMS: (\"ME\",\"SM\",\"MT\"),(\"ME\",\"SM\",\"MT\"),(\"SM\",\"MT\")"
                         : "+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")"});
    case Form::Read: {
        std::string line = "+CPMS: ";
        for (std::size_t i = 0; i < m_memories.size(); ++i) {
            line += (i == 0 ? "" : ",") + quoted(m_memories[i]) + "," + usage(m_memories[i]);
        }
        return info({line});
    }
    case Form::Execute:
        return cmsError(302);
    case Form::Set:
        break;
    }
    auto args = splitArguments(command.arguments);
    if (args.empty() || args.size() > 3) {
        return cmsError(302);
    }
    auto chosen = m_memories;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string memory = upper(args[i]);
        if (m_faults.narrowRanges) {
            // Cinterion MC75i: no SR, and ME is no receive memory (gammu PR 1207). MT (ME and
            // SM as one) is offered but not modelled: refused like a memory not offered.
            if (memory == "MT" || memory == "SR" || (i == 2 && memory == "ME")) {
                return outOfRange();
            }
        }
        // Status reports are read from SR, never written or received into it by choice.
        if (!m_store.hasMemory(memory) || (i > 0 && memory == "SR")) {
            return cmsError(302);
        }
        chosen[i] = memory;
    }
    m_memories = chosen;
    std::string line = "+CPMS: ";
    for (std::size_t i = 0; i < m_memories.size(); ++i) {
        line += (i == 0 ? "" : ",") + usage(m_memories[i]);
    }
    retryWaitingSoon();
    return info({line});
}

Modem::Reply Modem::cnmi(const AtCommand& command) {
    if (command.form == Form::Test) {
        return info({m_faults.narrowRanges ? "+CNMI: (0-3),(0,1),(0,2,3),(0,2),(1)"
                                           : "+CNMI: (0-2),(0-3),(0),(0-2),(0,1)"});
    }
    if (command.form == Form::Read) {
        std::string line = "+CNMI: ";
        for (std::size_t i = 0; i < m_cnmi.size(); ++i) {
            line += (i == 0 ? "" : ",") + std::to_string(m_cnmi[i]);
        }
        return info({line});
    }
    auto args = splitArguments(command.arguments);
    if (command.form != Form::Set || args.empty() || args.size() > 5) {
        return cmsError(303);
    }
    if (m_faults.narrowRanges) {
        return narrowCnmi(args);
    }
    static constexpr std::array<int, 5> kHighest{2, 3, 0, 2, 1};
    std::array<int, 5> chosen{0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto value = args[i].empty() ? std::optional<int>(0) : toInt(args[i]);
        if (!value || *value < 0 || *value > kHighest[i]) {
            return cmsError(303);
        }
        chosen[i] = *value;
    }
    if ((m_faults.refuseCnmiMode2 && chosen[0] == 2) ||
        (m_faults.refuseCnmiDs1 && chosen[3] == 1)) {
        // Advertised in AT+CNMI=? and refused all the same (oFono build_cnmi_string, MM 7801).
        return cmsError(303);
    }
    return applyCnmi(chosen);
}

Modem::Reply Modem::narrowCnmi(const std::vector<std::string>& args) {
    // Cinterion MC75i (gammu issue 1206, PR 1207): only what AT+CNMI=? lists, <bfr> 1 alone.
    // An omitted value takes the lowest offered one (AT+CNMI=2,1,0,2 answered OK there).
    static const std::array<std::set<int>, 5> kOffered{
        std::set<int>{0, 1, 2, 3}, {0, 1}, {0, 2, 3}, {0, 2}, {1}};
    std::array<int, 5> chosen{0, 0, 0, 0, 1};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].empty()) {
            continue;
        }
        auto value = toInt(args[i]);
        if (!value || kOffered[i].count(*value) == 0) {
            return outOfRange();
        }
        chosen[i] = *value;
    }
    return applyCnmi(chosen);
}

Modem::Reply Modem::applyCnmi(const std::array<int, 5>& chosen) {
    m_cnmi = chosen;
    if (m_cnmi[1] != 0 && !m_cnmiSeen) {
        m_cnmiSeen = true;
        for (const ScriptedCommand& scripted : m_onCnmi) {
            scheduleScript(scripted, m_now);
        }
        m_onCnmi.clear();
    }
    return Reply{};
}

Modem::Reply Modem::cmgl(const AtCommand& command) {
    if (command.form == Form::Test) {
        return info({"+CMGL: (0-4)"});
    }
    // PDU mode: no argument lists REC UNREAD (TS 27.005 §3.4.2).
    auto args = splitArguments(command.arguments);
    auto wanted = args.empty() ? std::optional<int>(0) : toInt(args[0]);
    if (command.form == Form::Read || !wanted || *wanted < 0 || *wanted > 4) {
        return cmsError(302);
    }
    Reply reply;
    for (const StoredMessage& message : m_store.list(m_memories[0])) {
        int stat = static_cast<int>(message.stat);
        if (*wanted != 4 && *wanted != stat) {
            continue;
        }
        std::string header = "+CMGL: " + std::to_string(message.index) + "," +
                             std::to_string(stat) + (m_faults.cmglWithoutAlpha ? "," : ",,") +
                             std::to_string(message.tpduLength);
        reply.lines.push_back(header);
        reply.lines.push_back(message.pdu);
        if (message.stat == MessageStat::ReceivedUnread) {
            m_store.find(m_memories[0], message.index)->stat = MessageStat::ReceivedRead;
        }
    }
    return reply;
}

Modem::Reply Modem::cmgr(const AtCommand& command) {
    if (command.form == Form::Test) {
        return Reply{};
    }
    auto args = splitArguments(command.arguments);
    auto index = args.size() == 1 ? toInt(args[0]) : std::nullopt;
    StoredMessage* message = index ? m_store.find(m_memories[0], *index) : nullptr;
    if (command.form != Form::Set || !message) {
        return cmsError(321);
    }
    std::string stat =
        m_faults.cmgrWithoutStat ? std::string() : std::to_string(static_cast<int>(message->stat));
    Reply reply =
        info({"+CMGR: " + stat + ",," + std::to_string(message->tpduLength), message->pdu});
    if (message->stat == MessageStat::ReceivedUnread) {
        message->stat = MessageStat::ReceivedRead;
    }
    return reply;
}

Modem::Reply Modem::cmgd(const AtCommand& command) {
    const std::string& memory = m_memories[0];
    if (command.form == Form::Test) {
        return info({"+CMGD: (1-" + std::to_string(m_store.capacity(memory)) + "),(0-4)"});
    }
    auto args = splitArguments(command.arguments);
    // -1 stands for a missing or malformed number (an optional here trips GCC's -O2
    // -Wmaybe-uninitialized).
    int index = args.empty() ? -1 : toInt(args[0]).value_or(-1);
    auto flag = args.size() > 1 ? toInt(args[1]) : std::optional<int>(0);
    if (command.form != Form::Set || args.size() > 2 || !flag || *flag < 0 || *flag > 4) {
        return cmsError(302);
    }
    if (*flag == 0) {
        if (index < 1 || index > m_store.capacity(memory)) {
            return cmsError(321);
        }
        m_store.remove(memory, index);
    } else {
        // Flags 1-4 delete by stat and ignore the index: read; read and sent; read, sent and
        // unsent; everything.
        for (const StoredMessage& message : m_store.list(memory)) {
            int stat = static_cast<int>(message.stat);
            bool gone =
                *flag == 4 || stat == 1 || (*flag >= 2 && stat == 3) || (*flag >= 3 && stat == 2);
            if (gone) {
                m_store.remove(memory, message.index);
            }
        }
    }
    retryWaitingSoon();
    return Reply{};
}

Modem::Reply Modem::openPrompt(const AtCommand& command, PromptFor purpose) {
    if (command.form == Form::Test) {
        return Reply{};
    }
    auto args = splitArguments(command.arguments);
    int length = args.empty() ? -1 : toInt(args[0]).value_or(-1);
    int stat = args.size() > 1 ? toInt(args[1]).value_or(-1) : 2;
    // A TPDU is at most 164 octets (SUBMIT with absolute validity and 140 octets of data).
    if (command.form != Form::Set || length < 1 || length > 164 || args.size() > 2 || stat < 0 ||
        stat > 3 || (purpose == PromptFor::Send && args.size() > 1)) {
        return cmsError(304);
    }
    if (purpose == PromptFor::Send && m_faults.promptAfterRefusal &&
        m_faults.failSend == m_counters.sendAttempts + 1) {
        // With the SIM800L habit the refusal is the command's answer, the prompt comes later.
        ++m_counters.sendAttempts;
        return cmsError(m_faults.failSendCode);
    }
    m_prompt =
        OpenPrompt{purpose, static_cast<std::size_t>(length), static_cast<MessageStat>(stat), {}};
    Reply reply;
    reply.final.reset();
    reply.prompt = promptText();
    return reply;
}

std::string Modem::promptText() const {
    switch (m_faults.prompt) {
    case PromptStyle::Bare:
        return ">";
    case PromptStyle::CrLf:
        return "\r\n>\r\n";
    case PromptStyle::Standard:
        break;
    }
    return "\r\n> ";
}

Modem::Reply Modem::writeToMemory(const std::string& hex, const OpenPrompt& prompt) {
    const std::string& memory = m_memories[1];
    auto index =
        memoryFull(memory) ? std::nullopt : m_store.add(memory, hex, prompt.length, prompt.stat);
    if (!index) {
        return cmsError(322);
    }
    return info({"+CMGW: " + std::to_string(*index)});
}

} // namespace modemsim
