#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sms {

/// The concatenation element of a user data header: IEI 00 (8-bit reference) or IEI 08 (16-bit).
struct Concatenation {
    std::uint16_t reference{0}; ///< the 8-bit element carries only the low octet
    std::uint8_t total{1};      ///< parts in the message, 1..255
    std::uint8_t sequence{1};   ///< this part, 1..total
    bool wideReference{false};  ///< true: IEI 08 with a 16-bit reference
};

bool operator==(const Concatenation& a, const Concatenation& b);
bool operator!=(const Concatenation& a, const Concatenation& b);

/// TP-UD as the codec sees it. On decoding, header elements other than concatenation are
/// skipped, and a concatenation element with a zero total, a zero sequence or a sequence above
/// the total is ignored (the part is shown as a message of its own). On encoding, a header is
/// written only for `concatenation`.
struct UserData {
    std::optional<Concatenation> concatenation;
    /// UTF-8 for GSM 7-bit and UCS2; the raw octets for 8-bit data.
    std::string text;
    /// Decoding only: TP-UD ended before the octets TP-UDL announced, and `text` holds what was
    /// there (whole characters only). Real devices hand over such messages; other SMS software
    /// shows them cut rather than not at all.
    bool truncated{false};
};

} // namespace sms
