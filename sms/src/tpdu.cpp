#include "sms/tpdu.h"

#include "address_field.h"
#include "sms/data_coding.h"
#include "timestamp_field.h"
#include "user_data_field.h"

#include <algorithm>
#include <iterator>

namespace sms {
namespace {

// First-octet bits, 3GPP TS 23.040 §9.2.3.
constexpr std::uint8_t kTypeMask = 0x03;
constexpr std::uint8_t kTypeDeliver = 0x00;
constexpr std::uint8_t kTypeSubmit = 0x01;
constexpr std::uint8_t kTypeStatusReport = 0x02;
constexpr std::uint8_t kNoMoreMessages = 0x04; // TP-MMS (DELIVER, STATUS-REPORT)
constexpr std::uint8_t kRejectDuplicates = 0x04;
constexpr std::uint8_t kValidityMask = 0x18;
constexpr std::uint8_t kValidityRelative = 0x10;
constexpr std::uint8_t kReportFlag = 0x20; // TP-SRR in SUBMIT, TP-SRI in DELIVER
constexpr std::uint8_t kHeaderIndicator = 0x40;

// Octet by octet: GCC 12 at -O3 reports a false -Warray-bounds in the memcpy that an inlined
// vector::insert into the small first-octet vectors below does when it moves them.
void append(Bytes& out, const Bytes& field) {
    std::copy(field.begin(), field.end(), std::back_inserter(out));
}

std::uint8_t flag(bool set, std::uint8_t bit) {
    return set ? bit : std::uint8_t{0};
}

// The address and user data fields SUBMIT and DELIVER share.
struct TextFields {
    Bytes address;
    UserDataField userData;
};

Result<TextFields> encodeTextFields(const Address& address, const UserData& userData,
                                    std::uint8_t dataCoding) {
    auto addressField = encodeAddress(address);
    if (!addressField) {
        return addressField.error();
    }
    auto userDataField = encodeUserData(userData, alphabetOf(dataCoding));
    if (!userDataField) {
        return userDataField.error();
    }
    return TextFields{std::move(*addressField), std::move(*userDataField)};
}

Result<Bytes> encode(const Submit& submit) {
    auto fields = encodeTextFields(submit.destination, submit.userData, submit.dataCoding);
    if (!fields) {
        return fields.error();
    }
    const auto firstOctet = static_cast<std::uint8_t>(
        kTypeSubmit | flag(submit.rejectDuplicates, kRejectDuplicates) |
        flag(submit.validity.has_value(), kValidityRelative) |
        flag(submit.statusReportRequest, kReportFlag) |
        flag(submit.userData.concatenation.has_value(), kHeaderIndicator));
    Bytes out{firstOctet, submit.messageReference};
    append(out, fields->address);
    out.push_back(submit.protocolId);
    out.push_back(submit.dataCoding);
    if (submit.validity) {
        out.push_back(*submit.validity);
    }
    out.push_back(fields->userData.length);
    append(out, fields->userData.octets);
    return out;
}

Result<Bytes> encode(const Deliver& deliver) {
    auto fields = encodeTextFields(deliver.originator, deliver.userData, deliver.dataCoding);
    if (!fields) {
        return fields.error();
    }
    const auto firstOctet = static_cast<std::uint8_t>(
        kTypeDeliver | flag(!deliver.moreMessagesToSend, kNoMoreMessages) |
        flag(deliver.statusReportIndication, kReportFlag) |
        flag(deliver.userData.concatenation.has_value(), kHeaderIndicator));
    Bytes out{firstOctet};
    append(out, fields->address);
    out.push_back(deliver.protocolId);
    out.push_back(deliver.dataCoding);
    appendTimestamp(out, deliver.serviceCentreTime);
    out.push_back(fields->userData.length);
    append(out, fields->userData.octets);
    return out;
}

Result<Bytes> encode(const StatusReport& report) {
    auto address = encodeAddress(report.recipient);
    if (!address) {
        return address.error();
    }
    const auto firstOctet = static_cast<std::uint8_t>(
        kTypeStatusReport | flag(!report.moreMessagesToSend, kNoMoreMessages));
    Bytes out{firstOctet, report.messageReference};
    append(out, *address);
    appendTimestamp(out, report.serviceCentreTime);
    appendTimestamp(out, report.dischargeTime);
    out.push_back(report.status);
    return out;
}

Result<Tpdu> decodeDeliver(ByteReader& reader, std::uint8_t firstOctet) {
    Deliver deliver;
    deliver.moreMessagesToSend = (firstOctet & kNoMoreMessages) == 0;
    deliver.statusReportIndication = (firstOctet & kReportFlag) != 0;
    auto originator = readAddress(reader);
    if (!originator) {
        return originator.error();
    }
    deliver.originator = std::move(*originator);
    const auto protocolId = reader.octet();
    const auto dataCoding = reader.octet();
    if (!protocolId || !dataCoding) {
        return Error::Truncated;
    }
    deliver.protocolId = *protocolId;
    deliver.dataCoding = *dataCoding;
    auto time = readTimestamp(reader);
    if (!time) {
        return time.error();
    }
    deliver.serviceCentreTime = *time;
    auto userData =
        readUserData(reader, alphabetOf(deliver.dataCoding), (firstOctet & kHeaderIndicator) != 0);
    if (!userData) {
        return userData.error();
    }
    deliver.userData = std::move(*userData);
    return Tpdu(std::move(deliver));
}

// TP-VP by TP-VPF: none, relative (1 octet), or enhanced/absolute (7 octets, skipped).
Result<std::optional<std::uint8_t>> readValidity(ByteReader& reader, std::uint8_t firstOctet) {
    const std::uint8_t format = firstOctet & kValidityMask;
    if (format == 0) {
        return std::optional<std::uint8_t>();
    }
    if (format == kValidityRelative) {
        const auto octet = reader.octet();
        if (!octet) {
            return Error::Truncated;
        }
        return std::optional<std::uint8_t>(*octet);
    }
    if (!reader.octets(7)) {
        return Error::Truncated;
    }
    return std::optional<std::uint8_t>();
}

Result<Tpdu> decodeSubmit(ByteReader& reader, std::uint8_t firstOctet) {
    Submit submit;
    submit.rejectDuplicates = (firstOctet & kRejectDuplicates) != 0;
    submit.statusReportRequest = (firstOctet & kReportFlag) != 0;
    const auto reference = reader.octet();
    if (!reference) {
        return Error::Truncated;
    }
    submit.messageReference = *reference;
    auto destination = readAddress(reader);
    if (!destination) {
        return destination.error();
    }
    submit.destination = std::move(*destination);
    const auto protocolId = reader.octet();
    const auto dataCoding = reader.octet();
    if (!protocolId || !dataCoding) {
        return Error::Truncated;
    }
    submit.protocolId = *protocolId;
    submit.dataCoding = *dataCoding;
    auto validity = readValidity(reader, firstOctet);
    if (!validity) {
        return validity.error();
    }
    submit.validity = *validity;
    auto userData =
        readUserData(reader, alphabetOf(submit.dataCoding), (firstOctet & kHeaderIndicator) != 0);
    if (!userData) {
        return userData.error();
    }
    if (userData->truncated) {
        // A SUBMIT comes from our own side of the line: one cut short is refused, not sent.
        return Error::Truncated;
    }
    submit.userData = std::move(*userData);
    return Tpdu(std::move(submit));
}

Result<Tpdu> decodeStatusReport(ByteReader& reader, std::uint8_t firstOctet) {
    StatusReport report;
    report.moreMessagesToSend = (firstOctet & kNoMoreMessages) == 0;
    const auto reference = reader.octet();
    if (!reference) {
        return Error::Truncated;
    }
    report.messageReference = *reference;
    auto recipient = readAddress(reader);
    if (!recipient) {
        return recipient.error();
    }
    report.recipient = std::move(*recipient);
    auto serviceCentreTime = readTimestamp(reader);
    if (!serviceCentreTime) {
        return serviceCentreTime.error();
    }
    auto dischargeTime = readTimestamp(reader);
    if (!dischargeTime) {
        return dischargeTime.error();
    }
    const auto status = reader.octet();
    if (!status) {
        return Error::Truncated;
    }
    report.serviceCentreTime = *serviceCentreTime;
    report.dischargeTime = *dischargeTime;
    report.status = *status;
    return Tpdu(std::move(report));
}

} // namespace

Result<Bytes> encodeTpdu(const Tpdu& tpdu) {
    return std::visit([](const auto& message) { return encode(message); }, tpdu);
}

Result<Tpdu> decodeTpdu(const Bytes& tpdu) {
    ByteReader reader(tpdu);
    const auto firstOctet = reader.octet();
    if (!firstOctet) {
        return Error::Truncated;
    }
    switch (*firstOctet & kTypeMask) {
    case kTypeDeliver:
        return decodeDeliver(reader, *firstOctet);
    case kTypeSubmit:
        return decodeSubmit(reader, *firstOctet);
    case kTypeStatusReport:
        return decodeStatusReport(reader, *firstOctet);
    default:
        return Error::ReservedMessageType;
    }
}

} // namespace sms
