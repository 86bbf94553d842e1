#include "modem_error_text.h"

#include <map>

namespace kelbrin {
namespace {

struct Explanation {
    const char* meaning;
    const char* advice; // empty when there is nothing an operator can do
};

const std::map<int, Explanation>& cmsErrors() {
    static const std::map<int, Explanation> table = {
        {1, {"unassigned number", "check the destination number"}},
        {8, {"operator determined barring", "ask the network operator"}},
        {10, {"call barred", "check call barring on the SIM"}},
        {21, {"short message transfer rejected", "the network refused the message"}},
        {27, {"destination out of order", ""}},
        {28, {"unidentified subscriber", "check the destination number"}},
        {29, {"facility rejected", ""}},
        {30, {"unknown subscriber", "check the destination number"}},
        {38, {"network out of order", "try again later"}},
        {41, {"temporary network failure", "try again later"}},
        {42, {"network congestion", "try again later"}},
        {47, {"network resources unavailable", "try again later"}},
        {50, {"SMS not subscribed", "ask the network operator to enable SMS on the SIM"}},
        {69, {"facility not implemented", ""}},
        {96, {"invalid mandatory information", ""}},
        {192, {"service centre busy", "try again later"}},
        {193, {"no service centre subscription", "ask the network operator"}},
        {195, {"invalid destination address", "check the destination number"}},
        {196, {"destination barred", ""}},
        {208, {"SIM message storage full", "delete messages from the SIM"}},
        {211, {"memory capacity exceeded", "delete messages from the SIM"}},
        {300, {"modem failure", "restart the modem"}},
        {302, {"operation not allowed", ""}},
        {303, {"operation not supported", ""}},
        {304, {"invalid PDU parameter", ""}},
        {310, {"SIM not inserted", "insert a SIM card"}},
        {311, {"SIM PIN required", "enter the PIN with AT+CPIN or remove the PIN request"}},
        {313, {"SIM failure", "check the SIM card"}},
        {314, {"SIM busy", "wait a moment and try again"}},
        {316, {"SIM PUK required", "unblock the SIM with its PUK in a phone"}},
        {320, {"memory failure", ""}},
        {321, {"invalid memory index", ""}},
        {322, {"memory full", "delete messages from the SIM"}},
        {330,
         {"service centre address unknown",
          "set the service centre number with AT+CSCA=\"+<number>\",145 (the network "
          "operator publishes it)"}},
        {331, {"no network service", "check the antenna and the signal"}},
        {332, {"network timeout", ""}}, // the message may have gone: no advice to send it again
        {500, {"unknown error", ""}},
        {512, {"connection to the network failed, weak signal", "check the antenna"}},
        {513, {"radio link lost", "check the antenna"}},
        {514, {"network congestion", "try again later"}},
        {515, {"modem busy, initialisation in progress", "wait a moment and try again"}},
    };
    return table;
}

const std::map<int, Explanation>& cmeErrors() {
    static const std::map<int, Explanation> table = {
        {0, {"phone failure", "restart the modem"}},
        {3, {"operation not allowed", ""}},
        {4, {"operation not supported", ""}},
        {10, {"SIM not inserted", "insert a SIM card"}},
        {11, {"SIM PIN required", "enter the PIN with AT+CPIN or remove the PIN request"}},
        {12, {"SIM PUK required", "unblock the SIM with its PUK in a phone"}},
        {13, {"SIM failure", "check the SIM card"}},
        {14, {"SIM busy", "wait a moment and try again"}},
        {15, {"wrong SIM", ""}},
        {16, {"incorrect password", ""}},
        {20, {"memory full", "delete messages from the SIM"}},
        {21, {"invalid index", ""}},
        {22, {"not found", ""}},
        {23, {"memory failure", ""}},
        {30, {"no network service", "check the antenna and the signal"}},
        {31, {"network timeout", "try again later"}},
        {32, {"emergency calls only", "check that the SIM is registered"}},
        {100, {"unknown error", ""}},
        {515, {"device busy", "wait a moment and try again"}},
    };
    return table;
}

} // namespace

std::string describeModemError(FinalKind kind, std::optional<int> code, const std::string& line) {
    const auto* table = kind == FinalKind::CmsError   ? &cmsErrors()
                        : kind == FinalKind::CmeError ? &cmeErrors()
                                                      : nullptr;
    if (table == nullptr || !code) {
        return "the modem answered " + line;
    }
    const auto found = table->find(*code);
    if (found == table->end()) {
        return "the modem answered " + line;
    }
    std::string text = "the modem answered " + line + " (" + found->second.meaning + ")";
    if (*found->second.advice != '\0') {
        text += std::string(": ") + found->second.advice;
    }
    return text;
}

std::string describeFailure(const std::string& what, const AtReply& reply,
                            const std::string& lostReason) {
    switch (reply.outcome) {
    case AtOutcome::Final:
        return what + ": " + describeModemError(reply.final, reply.errorCode, reply.finalLine);
    case AtOutcome::NoPrompt:
        return what + ": the modem did not ask for the message (no '>' prompt); the send was "
                      "cancelled";
    case AtOutcome::OutOfStep:
        return what + ": the modem answered " + reply.finalLine +
               " before asking for the message, an answer that belonged to an earlier command; "
               "the message was not sent";
    case AtOutcome::Timeout:
        return what + ": the modem did not answer in time";
    case AtOutcome::Restarted:
        return what + ": the modem restarted";
    case AtOutcome::PortLost:
        return what + ": the connection to the modem was lost (" + lostReason +
               "): check the cable and the power, then start the service again";
    case AtOutcome::Stopped:
        return what + ": the service was stopped";
    }
    return what;
}

std::string describeUnknownOutcome(const std::string& what, const AtReply& reply,
                                   const std::string& lostReason, Milliseconds waited) {
    if (!reply.prompted) {
        return describeFailure(what, reply, lostReason); // the PDU never went out
    }
    std::string why;
    switch (reply.outcome) {
    case AtOutcome::Final:
        why = "after taking the message " +
              describeModemError(reply.final, reply.errorCode, reply.finalLine);
        break;
    case AtOutcome::Timeout:
        why = "no result from the modem within " + std::to_string(waited.count() / 1000) + " s";
        break;
    case AtOutcome::Restarted:
        why = "the modem restarted before it gave a result";
        break;
    case AtOutcome::PortLost:
        why = "the connection to the modem was lost (" + lostReason + ")";
        break;
    case AtOutcome::Stopped:
        why = "the service was stopped before the modem gave a result";
        break;
    case AtOutcome::NoPrompt:
    case AtOutcome::OutOfStep:
        return describeFailure(what, reply, lostReason);
    }
    return what + ": " + why +
           "; the outcome is unknown: the message may have been sent, so it is not sent again";
}

} // namespace kelbrin
