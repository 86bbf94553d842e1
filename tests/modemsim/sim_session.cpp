#include "sim_session.h"

#include <sms/data_coding.h>
#include <sms/split.h>
#include <sms/tpdu.h>

#include <gtest/gtest.h>
#include <regex>
#include <thread>

SimSession::SimSession(const modemsim::Scenario& scenario)
    : sim(scenario), client(sim.terminalPath()) {}

void SimSession::openService(const std::string& cnmi) {
    for (const std::string line :
         {"ATE0", "AT+CMEE=1", "AT+CMGF=0", "AT+CPMS=\"SM\",\"SM\",\"SM\""}) {
        std::string reply = client.command(line);
        ASSERT_NE(reply.find("OK\r\n"), std::string::npos) << line << " -> " << reply;
    }
    ASSERT_NE(client.command(cnmi).find("\r\nOK\r\n"), std::string::npos) << cnmi;
}

std::optional<int> SimSession::send(const sms::OutgoingPdu& pdu) {
    lastReply = client.command("AT+CMGS=" + std::to_string(pdu.tpduLength));
    if (lastReply.find("> ") == std::string::npos) {
        return std::nullopt;
    }
    lastReply = client.command(pdu.hex + "\x1A");
    std::smatch match;
    if (std::regex_search(lastReply, match, std::regex("\\+CMGS: (\\d+)\r\n\r\nOK\r\n"))) {
        return std::stoi(match[1]);
    }
    return std::nullopt;
}

sms::OutgoingPdu submitPdu(const std::string& to, const std::string& text) {
    sms::Submit submit;
    submit.destination = sms::makeAddress(to);
    submit.statusReportRequest = true;
    submit.dataCoding = sms::dataCodingFor(sms::splitText(text)->alphabet);
    submit.userData.text = text;
    return sms::encodePdu(submit).value();
}

std::optional<sms::ReceivedPdu> pduAfter(const std::string& text, const std::string& prefix,
                                         std::size_t occurrence) {
    std::size_t at = text.find(prefix);
    for (; at != std::string::npos && occurrence > 0; --occurrence) {
        at = text.find(prefix, at + 1);
    }
    if (at == std::string::npos) {
        return std::nullopt;
    }
    auto headerEnd = text.find("\r\n", at);
    auto pduEnd = headerEnd == std::string::npos ? headerEnd : text.find("\r\n", headerEnd + 2);
    if (pduEnd == std::string::npos) {
        return std::nullopt;
    }
    std::string header = text.substr(at, headerEnd - at);
    auto lengthStart = header.find_last_of(" ,:") + 1;
    auto pdu = sms::decodePdu(text.substr(headerEnd + 2, pduEnd - headerEnd - 2),
                              std::stoul(header.substr(lengthStart)));
    if (!pdu) {
        return std::nullopt;
    }
    return pdu.value();
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
