#include "sms/address.h"

#include "address_field.h"
#include "sms/gsm7.h"

namespace sms {
namespace {

constexpr std::size_t kMaxDigits = 20;
constexpr std::size_t kMaxAlphanumericSeptets = 11;
constexpr char kDigitForNibble[] = "0123456789*#abc";

bool isAlphanumeric(std::uint8_t type) {
    return ((type >> 4) & 0x07) == 5;
}
bool isInternational(std::uint8_t type) {
    return ((type >> 4) & 0x07) == 1;
}

std::optional<std::uint8_t> nibbleForDigit(char digit) {
    for (std::uint8_t nibble = 0; nibble < 15; ++nibble) {
        if (kDigitForNibble[nibble] == digit) {
            return nibble;
        }
    }
    return std::nullopt;
}

// The value octets and the number of semi-octets they carry.
struct AddressValue {
    Bytes octets;
    std::size_t semiOctets{0};
};

Result<AddressValue> encodeValue(const Address& address) {
    if (isAlphanumeric(address.type)) {
        const auto septets = utf8ToGsm7(address.text);
        if (!septets || septets->size() > kMaxAlphanumericSeptets) {
            return Error::BadAddress;
        }
        return AddressValue{packSeptets(*septets), (septets->size() * 7 + 3) / 4};
    }
    std::string_view digits = address.text;
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    if (digits.size() > kMaxDigits) {
        return Error::BadAddress;
    }
    AddressValue value;
    value.semiOctets = digits.size();
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const auto low = nibbleForDigit(digits[i]);
        const auto high = i + 1 < digits.size() ? nibbleForDigit(digits[i + 1])
                                                : std::optional<std::uint8_t>(0x0F);
        if (!low || !high) {
            return Error::BadAddress;
        }
        value.octets.push_back(static_cast<std::uint8_t>(*high << 4 | *low));
    }
    return value;
}

std::string decodeDigits(const Bytes& octets, std::size_t digitCount) {
    std::string digits;
    for (std::size_t i = 0; i < digitCount && i / 2 < octets.size(); ++i) {
        const std::uint8_t octet = octets[i / 2];
        const unsigned nibble = i % 2 == 0 ? octet & 0x0Fu : octet >> 4;
        if (nibble < 15) {
            digits += kDigitForNibble[nibble];
        }
    }
    return digits;
}

Address decodeValue(std::uint8_t type, const Bytes& octets, std::size_t semiOctets) {
    if (isAlphanumeric(type)) {
        return Address{gsm7ToUtf8(unpackSeptets(octets, semiOctets * 4 / 7)), type};
    }
    const std::string digits = decodeDigits(octets, semiOctets);
    return Address{isInternational(type) ? "+" + digits : digits, type};
}

} // namespace

bool operator==(const Address& a, const Address& b) {
    return a.text == b.text && a.type == b.type;
}
bool operator!=(const Address& a, const Address& b) {
    return !(a == b);
}

Address makeAddress(std::string_view text) {
    std::string_view digits = text;
    const bool plus = !digits.empty() && digits.front() == '+';
    if (plus) {
        digits.remove_prefix(1);
    }
    bool numeric = !digits.empty();
    for (char c : digits) {
        numeric = numeric && ((c >= '0' && c <= '9') || c == '*' || c == '#');
    }
    if (!numeric) {
        return Address{std::string(text), kTypeAlphanumeric};
    }
    return Address{std::string(text), plus ? kTypeInternational : kTypeUnknown};
}

Result<Bytes> encodeAddress(const Address& address) {
    auto value = encodeValue(address);
    if (!value) {
        return value.error();
    }
    Bytes field{static_cast<std::uint8_t>(value->semiOctets), address.type};
    field.insert(field.end(), value->octets.begin(), value->octets.end());
    return field;
}

Result<Bytes> encodeServiceCentre(const Address& address) {
    auto value = encodeValue(address);
    if (!value) {
        return value.error();
    }
    Bytes field{static_cast<std::uint8_t>(value->octets.size() + 1), address.type};
    field.insert(field.end(), value->octets.begin(), value->octets.end());
    return field;
}

Result<Address> readAddress(ByteReader& reader) {
    const auto semiOctets = reader.octet();
    const auto type = reader.octet();
    if (!semiOctets || !type) {
        return Error::Truncated;
    }
    const auto octets = reader.octets((*semiOctets + 1u) / 2);
    if (!octets) {
        return Error::Truncated;
    }
    return decodeValue(*type, *octets, *semiOctets);
}

Result<std::optional<Address>> readServiceCentre(ByteReader& reader) {
    const auto length = reader.octet();
    if (!length) {
        return Error::Truncated;
    }
    if (*length == 0) {
        return std::optional<Address>();
    }
    const auto type = reader.octet();
    const auto octets = reader.octets(*length - 1u);
    if (!type || !octets) {
        return Error::Truncated;
    }
    return std::optional<Address>(decodeValue(*type, *octets, octets->size() * 2));
}

} // namespace sms
