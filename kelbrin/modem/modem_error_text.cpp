#include "modem_error_text.h"

#include <map>

namespace kelbrin {
namespace {

struct Explanation {
    TextFormat meaning;
    TextFormat advice; // null when there is nothing an operator can do
};

const std::map<int, Explanation>& cmsErrors() {
    static const std::map<int, Explanation> table = {
        {1, {KELBRIN_TEXT("unassigned number"), KELBRIN_TEXT("check the destination number")}},
        {8,
         {KELBRIN_TEXT("operator determined barring"), KELBRIN_TEXT("ask the network operator")}},
        {10, {KELBRIN_TEXT("call barred"), KELBRIN_TEXT("check call barring on the SIM")}},
        {21,
         {KELBRIN_TEXT("short message transfer rejected"),
          KELBRIN_TEXT("the network refused the message")}},
        {27, {KELBRIN_TEXT("destination out of order"), {}}},
        {28,
         {KELBRIN_TEXT("unidentified subscriber"), KELBRIN_TEXT("check the destination number")}},
        {29, {KELBRIN_TEXT("facility rejected"), {}}},
        {30, {KELBRIN_TEXT("unknown subscriber"), KELBRIN_TEXT("check the destination number")}},
        {38, {KELBRIN_TEXT("network out of order"), KELBRIN_TEXT("try again later")}},
        {41, {KELBRIN_TEXT("temporary network failure"), KELBRIN_TEXT("try again later")}},
        {42, {KELBRIN_TEXT("network congestion"), KELBRIN_TEXT("try again later")}},
        {47, {KELBRIN_TEXT("network resources unavailable"), KELBRIN_TEXT("try again later")}},
        {50,
         {KELBRIN_TEXT("SMS not subscribed"),
          KELBRIN_TEXT("ask the network operator to enable SMS on the SIM")}},
        {69, {KELBRIN_TEXT("facility not implemented"), {}}},
        {96, {KELBRIN_TEXT("invalid mandatory information"), {}}},
        {192, {KELBRIN_TEXT("service centre busy"), KELBRIN_TEXT("try again later")}},
        {193,
         {KELBRIN_TEXT("no service centre subscription"),
          KELBRIN_TEXT("ask the network operator")}},
        {195,
         {KELBRIN_TEXT("invalid destination address"),
          KELBRIN_TEXT("check the destination number")}},
        {196, {KELBRIN_TEXT("destination barred"), {}}},
        {208,
         {KELBRIN_TEXT("SIM message storage full"), KELBRIN_TEXT("delete messages from the SIM")}},
        {211,
         {KELBRIN_TEXT("memory capacity exceeded"), KELBRIN_TEXT("delete messages from the SIM")}},
        {300, {KELBRIN_TEXT("modem failure"), KELBRIN_TEXT("restart the modem")}},
        {302, {KELBRIN_TEXT("operation not allowed"), {}}},
        {303, {KELBRIN_TEXT("operation not supported"), {}}},
        {304, {KELBRIN_TEXT("invalid PDU parameter"), {}}},
        {310, {KELBRIN_TEXT("SIM not inserted"), KELBRIN_TEXT("insert a SIM card")}},
        {311,
         {KELBRIN_TEXT("SIM PIN required"),
          KELBRIN_TEXT("enter the PIN with AT+CPIN or remove the PIN request")}},
        {313, {KELBRIN_TEXT("SIM failure"), KELBRIN_TEXT("check the SIM card")}},
        {314, {KELBRIN_TEXT("SIM busy"), KELBRIN_TEXT("wait a moment and try again")}},
        {316,
         {KELBRIN_TEXT("SIM PUK required"),
          KELBRIN_TEXT("unblock the SIM with its PUK in a phone")}},
        {320, {KELBRIN_TEXT("memory failure"), {}}},
        {321, {KELBRIN_TEXT("invalid memory index"), {}}},
        {322, {KELBRIN_TEXT("memory full"), KELBRIN_TEXT("delete messages from the SIM")}},
        {330,
         {KELBRIN_TEXT("service centre address unknown"),
          KELBRIN_TEXT("set the service centre number with AT+CSCA=\"+<number>\",145 (the network "
                       "operator publishes it)")}},
        {331,
         {KELBRIN_TEXT("no network service"), KELBRIN_TEXT("check the antenna and the signal")}},
        {332,
         {KELBRIN_TEXT("network timeout"),
          {}}}, // the message may have gone: no advice to send it again
        {500, {KELBRIN_TEXT("unknown error"), {}}},
        {512,
         {KELBRIN_TEXT("connection to the network failed, weak signal"),
          KELBRIN_TEXT("check the antenna")}},
        {513, {KELBRIN_TEXT("radio link lost"), KELBRIN_TEXT("check the antenna")}},
        {514, {KELBRIN_TEXT("network congestion"), KELBRIN_TEXT("try again later")}},
        {515,
         {KELBRIN_TEXT("modem busy, initialisation in progress"),
          KELBRIN_TEXT("wait a moment and try again")}},
    };
    return table;
}

const std::map<int, Explanation>& cmeErrors() {
    static const std::map<int, Explanation> table = {
        {0, {KELBRIN_TEXT("phone failure"), KELBRIN_TEXT("restart the modem")}},
        {3, {KELBRIN_TEXT("operation not allowed"), {}}},
        {4, {KELBRIN_TEXT("operation not supported"), {}}},
        {10, {KELBRIN_TEXT("SIM not inserted"), KELBRIN_TEXT("insert a SIM card")}},
        {11,
         {KELBRIN_TEXT("SIM PIN required"),
          KELBRIN_TEXT("enter the PIN with AT+CPIN or remove the PIN request")}},
        {12,
         {KELBRIN_TEXT("SIM PUK required"),
          KELBRIN_TEXT("unblock the SIM with its PUK in a phone")}},
        {13, {KELBRIN_TEXT("SIM failure"), KELBRIN_TEXT("check the SIM card")}},
        {14, {KELBRIN_TEXT("SIM busy"), KELBRIN_TEXT("wait a moment and try again")}},
        {15, {KELBRIN_TEXT("wrong SIM"), {}}},
        {16, {KELBRIN_TEXT("incorrect password"), {}}},
        {20, {KELBRIN_TEXT("memory full"), KELBRIN_TEXT("delete messages from the SIM")}},
        {21, {KELBRIN_TEXT("invalid index"), {}}},
        {22, {KELBRIN_TEXT("not found"), {}}},
        {23, {KELBRIN_TEXT("memory failure"), {}}},
        {30,
         {KELBRIN_TEXT("no network service"), KELBRIN_TEXT("check the antenna and the signal")}},
        {31, {KELBRIN_TEXT("network timeout"), KELBRIN_TEXT("try again later")}},
        {32,
         {KELBRIN_TEXT("emergency calls only"), KELBRIN_TEXT("check that the SIM is registered")}},
        {100, {KELBRIN_TEXT("unknown error"), {}}},
        {515, {KELBRIN_TEXT("device busy"), KELBRIN_TEXT("wait a moment and try again")}},
    };
    return table;
}

} // namespace

OperatorText describeModemError(FinalKind kind, std::optional<int> code, const std::string& line) {
    const auto* table = kind == FinalKind::CmsError   ? &cmsErrors()
                        : kind == FinalKind::CmeError ? &cmeErrors()
                                                      : nullptr;
    if (table == nullptr || !code || table->count(*code) == 0) {
        return OperatorText(KELBRIN_TEXT("the modem answered %1$s"), line);
    }
    const Explanation& explanation = table->at(*code);
    if (explanation.advice.english == nullptr) {
        return OperatorText(KELBRIN_TEXT("the modem answered %1$s (%2$s)"), line,
                            OperatorText(explanation.meaning));
    }
    return OperatorText(KELBRIN_TEXT("the modem answered %1$s (%2$s): %3$s"), line,
                        OperatorText(explanation.meaning), OperatorText(explanation.advice));
}

OperatorText describeFailure(OperatorText what, const AtReply& reply,
                             const OperatorText& lostReason) {
    switch (reply.outcome) {
    case AtOutcome::Final:
        return OperatorText(KELBRIN_TEXT("%1$s: %2$s"), std::move(what),
                            describeModemError(reply.final, reply.errorCode, reply.finalLine));
    case AtOutcome::NoPrompt:
        return OperatorText(KELBRIN_TEXT("%1$s: the modem did not ask for the message (no '>' "
                                         "prompt); the send was cancelled"),
                            std::move(what));
    case AtOutcome::AnsweredBeforePrompt:
        return OperatorText(KELBRIN_TEXT("%1$s: the modem answered %2$s before asking for the "
                                         "message, an answer that belonged to an earlier command; "
                                         "the message was not sent"),
                            std::move(what), reply.finalLine);
    case AtOutcome::OutOfStep:
        return OperatorText(KELBRIN_TEXT("%1$s: the modem answers out of step (its answers come "
                                         "one command late), and did not get back in step in "
                                         "time"),
                            std::move(what));
    case AtOutcome::Timeout:
        return OperatorText(KELBRIN_TEXT("%1$s: the modem did not answer in time"),
                            std::move(what));
    case AtOutcome::Restarted:
        return OperatorText(KELBRIN_TEXT("%1$s: the modem restarted"), std::move(what));
    case AtOutcome::PortLost:
        return OperatorText(KELBRIN_TEXT("%1$s: the connection to the modem was lost (%2$s): "
                                         "check the cable and the power, then start the service "
                                         "again"),
                            std::move(what), lostReason);
    case AtOutcome::Stopped:
        return OperatorText(KELBRIN_TEXT("%1$s: the service was stopped"), std::move(what));
    }
    return what;
}

OperatorText describeUnknownOutcome(OperatorText what, const AtReply& reply,
                                    const OperatorText& lostReason, Milliseconds waited) {
    if (!reply.prompted) {
        return describeFailure(std::move(what), reply, lostReason); // the PDU never went out
    }
    OperatorText why;
    switch (reply.outcome) {
    case AtOutcome::Final:
        why = OperatorText(KELBRIN_TEXT("after taking the message %1$s"),
                           describeModemError(reply.final, reply.errorCode, reply.finalLine));
        break;
    case AtOutcome::Timeout:
        why = OperatorText(KELBRIN_TEXT("no result from the modem within %1$s s"),
                           waited.count() / 1000);
        break;
    case AtOutcome::Restarted:
        why = OperatorText(KELBRIN_TEXT("the modem restarted before it gave a result"));
        break;
    case AtOutcome::PortLost:
        why = OperatorText(KELBRIN_TEXT("the connection to the modem was lost (%1$s)"), lostReason);
        break;
    case AtOutcome::Stopped:
        why = OperatorText(KELBRIN_TEXT("the service was stopped before the modem gave a result"));
        break;
    case AtOutcome::NoPrompt:
    case AtOutcome::AnsweredBeforePrompt:
    case AtOutcome::OutOfStep:
        return describeFailure(std::move(what), reply, lostReason);
    }
    return OperatorText(KELBRIN_TEXT("%1$s: %2$s; the outcome is unknown: the message may have "
                                     "been sent, so it is not sent again"),
                        std::move(what), std::move(why));
}

} // namespace kelbrin
