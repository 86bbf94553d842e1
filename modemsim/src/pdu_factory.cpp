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

// The TPDU of every part of `text`, concatenated under `reference` when there are several.
template <typename MakeTpdu>
sms::Result<std::vector<sms::OutgoingPdu>> partPdus(const std::string& text,
                                                    const std::string& serviceCentre,
                                                    std::uint8_t reference, MakeTpdu makeTpdu) {
    auto split = sms::splitText(text);
    if (!split) {
        return split.error();
    }
    const auto& parts = split->parts;
    std::vector<sms::OutgoingPdu> pdus;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        sms::UserData userData;
        userData.text = parts[i];
        if (parts.size() > 1) {
            userData.concatenation =
                sms::Concatenation{reference, static_cast<std::uint8_t>(parts.size()),
                                   static_cast<std::uint8_t>(i + 1), false};
        }
        auto pdu = sms::encodePdu(
            makeTpdu(sms::dataCodingFor(split->alphabet), userData, i + 1 < parts.size()),
            serviceCentreAddress(serviceCentre));
        if (!pdu) {
            return pdu.error();
        }
        pdus.push_back(std::move(pdu.value()));
    }
    return pdus;
}

// Cuts the user data of a DELIVER to `octets`, leaving TP-UDL as it was. TP-UD is the tail of
// the TPDU, after first octet, TP-OA, TP-PID, TP-DCS, TP-SCTS (7 octets) and TP-UDL.
std::optional<std::string> truncateUserData(sms::OutgoingPdu& pdu, const sms::Address& originator,
                                            std::size_t octets) {
    auto address = sms::encodeAddress(originator);
    const std::size_t headerOctets = 1 + (address ? address->size() : 0) + 1 + 1 + 7 + 1;
    const std::size_t userDataOctets = pdu.tpduLength - headerOctets;
    if (octets >= userDataOctets) {
        return "truncate=" + std::to_string(octets) + " is not shorter than the " +
               std::to_string(userDataOctets) + " octets of user data";
    }
    const std::size_t cut = userDataOctets - octets;
    pdu.hex.resize(pdu.hex.size() - 2 * cut);
    pdu.tpduLength -= cut;
    return std::nullopt;
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

PartsOrError deliverPdus(const IncomingMessage& message, const std::string& serviceCentre,
                         std::uint8_t reference, const sms::Timestamp& time) {
    const sms::Address originator = sms::makeAddress(message.sender);
    auto pdus = partPdus(message.text, serviceCentre, reference,
                         [&](std::uint8_t dataCoding, const sms::UserData& userData, bool more) {
                             sms::Deliver deliver;
                             deliver.originator = originator;
                             deliver.moreMessagesToSend = more;
                             deliver.dataCoding = dataCoding;
                             deliver.serviceCentreTime = time;
                             deliver.userData = userData;
                             return sms::Tpdu(deliver);
                         });
    if (!pdus) {
        return std::string(sms::describe(pdus.error()));
    }
    if (message.truncatedTo) {
        if (auto error = truncateUserData(pdus->back(), originator, *message.truncatedTo)) {
            return *error;
        }
    }
    return std::move(pdus.value());
}

PartsOrError storedSubmitPdus(const std::string& recipient, const std::string& text,
                              const std::string& serviceCentre, std::uint8_t reference) {
    auto pdus = partPdus(text, serviceCentre, reference,
                         [&](std::uint8_t dataCoding, const sms::UserData& userData, bool) {
                             sms::Submit submit;
                             submit.destination = sms::makeAddress(recipient);
                             submit.dataCoding = dataCoding;
                             submit.userData = userData;
                             return sms::Tpdu(submit);
                         });
    if (!pdus) {
        return std::string(sms::describe(pdus.error()));
    }
    return std::move(pdus.value());
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
