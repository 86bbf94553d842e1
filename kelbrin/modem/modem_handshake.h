#pragma once

#include "at_channel.h"
#include "registration.h"
#include "session_settings.h"
#include "step_failure.h"

#include <string>
#include <vector>

namespace kelbrin {

struct HandshakeResult {
    OperatorText failure;    ///< empty on success, else the operator text
    std::string indications; ///< the AT+CNMI arguments the modem took
    int storedMessages = 0;  ///< messages in the receiving memory (+CPMS <used1>)
    /// Memories to list, the receiving one first: the operator's, or ME/MT when the SIM
    /// refused or was full (then both).
    std::vector<std::string> memories;
    std::string reportMemory; ///< "SR" when the modem stores status reports there
    int receiveCapacity = 0;  ///< slots of the receiving memory (0: the modem did not say)
    OperatorText storageFull; ///< "message storage full (n/n): ..." when nothing can come in
};

/// The AT+CNMI settings (without "AT+CNMI=") that the ranges of a modem's AT+CNMI=? allow,
/// best first; none when it offers no store-and-notify (+CMTI).
std::vector<std::string> indicationSettingsOffered(const std::vector<std::vector<int>>& offered);

/// The start-up dialogue: ESC, "ATE0Q0V1+CMEE=1" until answered, SIM, the message settings
/// (PDU mode, storage, indications with the fallbacks real modems need), service centre,
/// registration. "SIM busy", an SMS stack still starting and "still searching" are waited out
/// within the deadline. Each failure is its own operator text. Only what decides whether the
/// service can work is asked here, since every round trip counts against the deadline on a slow
/// modem; the message service (+CSMS) is settled after the start.
class ModemHandshake {
public:
    ModemHandshake(AtChannel& channel, const SessionSettings& settings);

    /// Finished by @p deadline, whatever the modem does.
    HandshakeResult run(Clock::time_point deadline);
    /// The settings a restart of the modem undoes (echo, result codes, numeric errors, PDU mode,
    /// memories, indications), for a modem that rebooted while the service ran.
    HandshakeResult restoreSettings(Clock::time_point deadline);
    /// Message service 0 where the modem allows it; true when it stays on service 1, under which
    /// every routed +CMT/+CDS needs an AT+CNMA (27.005 §3.2.1).
    bool routedNeedAcknowledging(Clock::time_point deadline);

    // The steps of run(), for a checklist that reports each one.

    /// ESC, then the basic settings until the modem answers.
    StepFailure syncWithModem(Clock::time_point deadline);
    /// Ready, PIN/PUK wanted or no SIM; "SIM busy" is waited out.
    StepFailure checkSim(Clock::time_point deadline);
    StepFailure switchToPduMode(Clock::time_point deadline);
    /// New-message indications with the fallbacks real modems need (changes AT+CNMI).
    OperatorText enableIndications(Clock::time_point deadline, HandshakeResult& result);
    StepFailure checkServiceCentre(Clock::time_point deadline);
    /// The number checkServiceCentre() read; empty when the SIM holds none or it was not read.
    const std::string& serviceCentre() const { return m_serviceCentre; }
    /// AT+CPMS with @p memory in every place (two places for Wavecom).
    AtReply useMemory(const std::string& memory, Clock::time_point deadline);
    /// +CREG, then +CEREG and +CGREG where +CREG shows none, or always with @p everyDomain; again
    /// every 0.5 s while the modem is still searching (or settling, A7670E stat 11) and allows
    /// no SMS, until @p searchUntil.
    Registration awaitRegistration(Clock::time_point deadline, Clock::time_point searchUntil,
                                   bool everyDomain, OperatorText& failure);

private:
    /// Sets @p failure when the modem did not answer +CREG (or, without @p everyDomain, the
    /// others it was asked).
    Registration readRegistration(Clock::time_point deadline, bool everyDomain,
                                  OperatorText& failure);
    AtReply command(const std::string& line, Milliseconds timeout, Clock::time_point deadline,
                    bool finalMayBeMissing = false);
    /// Repeats a command while the modem answers "SIM busy" / "init in progress" (backing off by
    /// 0.2 s more each time), after a restart under it, while the answers stay out of step,
    /// or, for the SMS commands, while its SMS stack is still starting (about 1 s apart, sooner
    /// when it says "SMS Ready"; AT+CMGF=0 on a plain ERROR too), all within @p deadline.
    AtReply commandRetrying(const std::string& line, Clock::time_point deadline,
                            bool finalMayBeMissing = false);
    void applyBasicSettingsOneByOne(Clock::time_point deadline);
    OperatorText setUpMessaging(Clock::time_point deadline, HandshakeResult& result);
    OperatorText selectStorage(Clock::time_point deadline, HandshakeResult& result);
    StepFailure checkRegistration(Clock::time_point deadline);
    /// The failure text of an SMS settings command, "still starting" when that is why: an answer
    /// of a stack still starting, or a plain ERROR to a command that was asked again for it
    /// until the time ran out (@p plainErrorRetried).
    OperatorText describeSettingFailure(OperatorText what, const AtReply& reply,
                                        bool plainErrorRetried = false) const;
    /// A start-up that ran out of time while the modem answered every command: it is slow, and
    /// saying it did not answer would send the operator looking for the wrong fault.
    OperatorText describeSlowModem() const;
    /// Answers that kept coming one command late until the deadline.
    StepFailure describeOutOfStep() const;

    AtChannel& m_channel;
    const SessionSettings& m_settings;
    int m_answered = 0;                ///< commands that got a final result
    Clock::duration m_answerTime{};    ///< the time those took, together
    bool m_deadlineCutCommand = false; ///< a command was cut short, or not sent, by the deadline
    bool m_lastOutOfStep = false;      ///< no command was answered in step since one was not
    std::string m_serviceCentre;
};

} // namespace kelbrin
