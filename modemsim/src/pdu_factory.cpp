#include "pdu_factory.h"

#include <sms/data_coding.h>
#include <sms/split.h>

#include <ctime>
#include <optional>

namespace modemsim {

namespace {

std::optional<sms::Address> serviceCentreAddress(const std::string& serviceCentre) {
    if (serviceCentre.empty()) {
        return std::nullopt;
    }
    return sms::makeAddress(serviceCentre);
}

} // namespace

sms::Timestamp currentTimestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    sms::Timestamp stamp;
    stamp.year = local.tm_year + 1900;
    stamp.month = local.tm_mon + 1;
    stamp.day = local.tm_mday;
    stamp.hour = local.tm_hour;
    stamp.minute = local.tm_min;
    stamp.second = local.tm_sec;
    stamp.utcOffsetQuarterHours = static_cast<int>(local.tm_gmtoff / (15 * 60));
    return stamp;
}

sms::Result<std::vector<sms::OutgoingPdu>> deliverPdus(const IncomingMessage& message,
                                                       const std::string& serviceCentre,
                                                       std::uint8_t reference,
                                                       const sms::Timestamp& time) {
    auto split = sms::splitText(message.text);
    if (!split) {
        return split.error();
    }
    const auto& parts = split->parts;
    std::vector<sms::OutgoingPdu> pdus;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        sms::Deliver deliver;
        deliver.originator = sms::makeAddress(message.sender);
        deliver.moreMessagesToSend = i + 1 < parts.size();
        deliver.dataCoding = sms::dataCodingFor(split->alphabet);
        deliver.serviceCentreTime = time;
        deliver.userData.text = parts[i];
        if (parts.size() > 1) {
            deliver.userData.concatenation =
                sms::Concatenation{reference, static_cast<std::uint8_t>(parts.size()),
                                   static_cast<std::uint8_t>(i + 1), false};
        }
        auto pdu = sms::encodePdu(deliver, serviceCentreAddress(serviceCentre));
        if (!pdu) {
            return pdu.error();
        }
        pdus.push_back(std::move(pdu.value()));
    }
    return pdus;
}

sms::Result<sms::OutgoingPdu> loopbackPdu(const sms::Submit& submit,
                                          const std::string& serviceCentre,
                                          const sms::Timestamp& time) {
    sms::Deliver deliver;
    deliver.originator = submit.destination;
    deliver.protocolId = submit.protocolId;
    deliver.dataCoding = submit.dataCoding;
    deliver.serviceCentreTime = time;
    deliver.userData = submit.userData;
    return sms::encodePdu(deliver, serviceCentreAddress(serviceCentre));
}

sms::Result<sms::OutgoingPdu> statusReportPdu(std::uint8_t messageReference,
                                              const sms::Address& recipient,
                                              const sms::Timestamp& submitted, std::uint8_t status,
                                              const std::string& serviceCentre) {
    sms::StatusReport report;
    report.messageReference = messageReference;
    report.recipient = recipient;
    report.serviceCentreTime = submitted;
    report.dischargeTime = currentTimestamp();
    report.status = status;
    return sms::encodePdu(report, serviceCentreAddress(serviceCentre));
}

} // namespace modemsim
