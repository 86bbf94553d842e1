#pragma once

#include "sms/address.h"
#include "sms/bytes.h"
#include "sms/result.h"
#include "sms/timestamp.h"
#include "sms/user_data.h"

#include <cstdint>
#include <optional>
#include <variant>

namespace sms {

/// SMS-SUBMIT, mobile to service centre (3GPP TS 23.040 §9.2.2.2).
struct Submit {
    /// TP-MR. Modems replace it with their own counter and return that in +CMGS, so senders
    /// usually leave it 0.
    std::uint8_t messageReference{0};
    Address destination;
    bool statusReportRequest{false}; ///< TP-SRR
    bool rejectDuplicates{false};    ///< TP-RD
    /// Relative TP-VP octet (see validity.h). Absolute and enhanced formats are skipped when
    /// decoding and leave this empty.
    std::optional<std::uint8_t> validity;
    std::uint8_t protocolId{0};
    std::uint8_t dataCoding{0}; ///< TP-DCS; alphabetOf() of it decides how the text is coded
    UserData userData;
};

/// SMS-DELIVER, service centre to mobile (§9.2.2.1).
struct Deliver {
    Address originator;
    bool moreMessagesToSend{false};     ///< TP-MMS inverted: true when the bit is 0
    bool statusReportIndication{false}; ///< TP-SRI
    std::uint8_t protocolId{0};
    std::uint8_t dataCoding{0};
    Timestamp serviceCentreTime; ///< TP-SCTS
    UserData userData;
};

/// SMS-STATUS-REPORT, service centre to mobile (§9.2.2.3). Optional parameters after TP-ST
/// are ignored when decoding and not written when encoding.
struct StatusReport {
    std::uint8_t messageReference{0}; ///< TP-MR of the SUBMIT this reports on
    Address recipient;
    bool moreMessagesToSend{false};
    Timestamp serviceCentreTime; ///< when the centre took the SUBMIT
    Timestamp dischargeTime;     ///< when it was delivered, or finally failed
    std::uint8_t status{0};      ///< TP-ST; see status.h
};

/// The three message types an AT modem hands over or takes, by TP-MTI.
using Tpdu = std::variant<Deliver, Submit, StatusReport>;

/// Octets of a TPDU (no service-centre prefix). Errors: BadAddress, Unencodable (text outside
/// the alphabet of dataCoding), TooLong (user data beyond 140 octets).
Result<Bytes> encodeTpdu(const Tpdu& tpdu);

/// Decodes a TPDU by its TP-MTI: 00 DELIVER, 01 SUBMIT, 10 STATUS-REPORT. Octets after the last
/// field (SIM record padding, optional status report parameters) are ignored. A DELIVER whose
/// user data ends before TP-UDL says decodes with what is there and UserData::truncated set; a
/// SUBMIT cut so is an error. Never reads past `tpdu`; other malformed input gives an error.
Result<Tpdu> decodeTpdu(const Bytes& tpdu);

} // namespace sms
