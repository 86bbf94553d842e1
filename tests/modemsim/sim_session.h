#pragma once

#include "pty_client.h"

#include <modemsim/simulator.h>
#include <sms/pdu.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// A simulator and a raw terminal client on its pty, plus the few steps most tests share.
struct SimSession {
    explicit SimSession(const modemsim::Scenario& scenario = {});

    // What a service library sends when it opens the modem; every step must answer OK.
    void openService(const std::string& cnmi = "AT+CNMI=2,1,0,1,0");
    // AT+CMGS with `pdu`; the TP-MR the modem answered, or nothing (the reply is in lastReply).
    std::optional<int> send(const sms::OutgoingPdu& pdu);

    modemsim::Simulator sim;
    PtyClient client;
    std::string lastReply;
};

// An SMS-SUBMIT to `to`, GSM 7-bit when the text fits, else UCS2, asking for a status report.
sms::OutgoingPdu submitPdu(const std::string& to, const std::string& text);

// The PDU on the line after the `occurrence`-th (from 0) line starting with `prefix` (e.g.
// "+CDS:"), decoded with the length that line ends in.
std::optional<sms::ReceivedPdu> pduAfter(const std::string& text, const std::string& prefix,
                                         std::size_t occurrence = 0);

// Polls `condition` until it holds or `timeout` passes.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

inline std::chrono::milliseconds ms(int count) {
    return std::chrono::milliseconds(count);
}
