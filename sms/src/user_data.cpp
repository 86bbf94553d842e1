#include "sms/user_data.h"

#include "sms/gsm7.h"
#include "sms/utf.h"
#include "user_data_field.h"

#include <algorithm>

namespace sms {
namespace {

constexpr std::size_t kMaxOctets = 140;
constexpr std::uint8_t kConcat8 = 0x00;
constexpr std::uint8_t kConcat16 = 0x08;

std::size_t septetsCovering(std::size_t octets) {
    return (octets * 8 + 6) / 7;
}

Bytes encodeHeader(const std::optional<Concatenation>& concatenation) {
    if (!concatenation) {
        return {};
    }
    const auto& c = *concatenation;
    if (c.wideReference) {
        return {0x06,
                kConcat16,
                0x04,
                static_cast<std::uint8_t>(c.reference >> 8),
                static_cast<std::uint8_t>(c.reference & 0xFF),
                c.total,
                c.sequence};
    }
    return {0x05,    kConcat8,  0x03, static_cast<std::uint8_t>(c.reference & 0xFF),
            c.total, c.sequence};
}

// Walks the information elements of a header (UDHL octet included). Keeps the first valid
// concatenation element, skips everything else.
Result<std::optional<Concatenation>> parseHeader(const Bytes& header) {
    std::optional<Concatenation> concatenation;
    std::size_t position = 1;
    while (position < header.size()) {
        if (header.size() - position < 2) {
            return Error::BadUserDataHeader;
        }
        const std::uint8_t id = header[position];
        const std::size_t length = header[position + 1];
        const std::size_t data = position + 2;
        if (header.size() - data < length) {
            return Error::BadUserDataHeader;
        }
        std::optional<Concatenation> element;
        if (id == kConcat8 && length == 3) {
            element = Concatenation{header[data], header[data + 1], header[data + 2], false};
        } else if (id == kConcat16 && length == 4) {
            const auto reference = static_cast<std::uint16_t>(header[data] << 8 | header[data + 1]);
            element = Concatenation{reference, header[data + 2], header[data + 3], true};
        }
        const bool valid = element && element->total > 0 && element->sequence > 0 &&
                           element->sequence <= element->total;
        if (valid && !concatenation) {
            concatenation = element;
        }
        position = data + length;
    }
    return concatenation;
}

} // namespace

bool operator==(const Concatenation& a, const Concatenation& b) {
    return a.reference == b.reference && a.total == b.total && a.sequence == b.sequence &&
           a.wideReference == b.wideReference;
}
bool operator!=(const Concatenation& a, const Concatenation& b) {
    return !(a == b);
}

Result<UserDataField> encodeUserData(const UserData& userData, Alphabet alphabet) {
    UserDataField field{0, encodeHeader(userData.concatenation)};
    const std::size_t headerOctets = field.octets.size();
    std::size_t length = 0;
    if (alphabet == Alphabet::Gsm7) {
        const auto septets = utf8ToGsm7(userData.text);
        if (!septets) {
            return Error::Unencodable;
        }
        const std::size_t headerSeptets = septetsCovering(headerOctets);
        const auto fillBits = static_cast<unsigned>(headerSeptets * 7 - headerOctets * 8);
        const Bytes packed = packSeptets(*septets, fillBits);
        field.octets.insert(field.octets.end(), packed.begin(), packed.end());
        length = headerSeptets + septets->size();
    } else {
        const Bytes body = alphabet == Alphabet::Ucs2
                               ? utf8ToUcs2(userData.text)
                               : Bytes(userData.text.begin(), userData.text.end());
        field.octets.insert(field.octets.end(), body.begin(), body.end());
        length = field.octets.size();
    }
    if (field.octets.size() > kMaxOctets) {
        return Error::TooLong;
    }
    field.length = static_cast<std::uint8_t>(length);
    return field;
}

Result<UserData> readUserData(ByteReader& reader, Alphabet alphabet, bool hasHeader) {
    const auto length = reader.octet();
    if (!length) {
        return Error::Truncated;
    }
    const bool septets = alphabet == Alphabet::Gsm7;
    const std::size_t octetCount = septets ? (*length * 7u + 7) / 8 : *length;
    UserData userData;
    auto octets = reader.octets(octetCount);
    if (!octets) {
        octets = reader.rest();
        userData.truncated = true;
    }
    std::size_t headerOctets = 0;
    if (hasHeader) {
        if (octets->empty() || std::size_t{octets->front()} + 1 > octets->size()) {
            return Error::BadUserDataHeader;
        }
        headerOctets = octets->front() + 1u;
        auto concatenation = parseHeader(
            Bytes(octets->begin(), octets->begin() + static_cast<std::ptrdiff_t>(headerOctets)));
        if (!concatenation) {
            return concatenation.error();
        }
        userData.concatenation = *concatenation;
    }
    Bytes body(octets->begin() + static_cast<std::ptrdiff_t>(headerOctets), octets->end());
    if (userData.truncated && alphabet == Alphabet::Ucs2) {
        // The cut may fall inside a unit or between the halves of a surrogate pair.
        body.resize(body.size() / 2 * 2);
        if (body.size() >= 2 && (body[body.size() - 2] & 0xFC) == 0xD8) {
            body.resize(body.size() - 2);
        }
    }
    if (!septets) {
        userData.text =
            alphabet == Alphabet::Ucs2 ? ucs2ToUtf8(body) : std::string(body.begin(), body.end());
        return userData;
    }
    const std::size_t headerSeptets = septetsCovering(headerOctets);
    if (headerSeptets > *length) {
        return Error::BadUserDataHeader;
    }
    const auto fillBits = static_cast<unsigned>(headerSeptets * 7 - headerOctets * 8);
    // A cut field holds only the septets whose seven bits all arrived.
    const std::size_t present = std::min<std::size_t>(*length, octets->size() * 8 / 7);
    if (headerSeptets > present) {
        return Error::BadUserDataHeader;
    }
    userData.text = gsm7ToUtf8(unpackSeptets(body, present - headerSeptets, fillBits));
    return userData;
}

} // namespace sms
