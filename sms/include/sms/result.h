#pragma once

#include <optional>
#include <string_view>
#include <utility>

namespace sms {

/// Why a decoder rejected its input or an encoder could not build a PDU.
enum class Error {
    BadHex,              ///< odd number of hex digits, or a character that is not a hex digit
    Truncated,           ///< a field (or the user data the length octet promises) runs past the end
    ReservedMessageType, ///< TP-MTI 11, which no message type uses
    BadUserDataHeader,   ///< header longer than the user data, or an element longer than the header
    BadAddress,          ///< an address that cannot be encoded (bad character, too long)
    Unencodable,         ///< text holds a character the chosen alphabet does not have
    TooLong,             ///< user data beyond 140 octets, or a text needing more than 255 parts
};

/// A short English phrase for an error, for logs and operator messages.
std::string_view describe(Error error);

/// The value of a decoder or encoder, or the reason it failed. Never throws on its own; reading
/// value() of a failed result is a programming error (std::optional's rules apply).
template <typename T> class Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Error error) : m_error(error) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    const T& operator*() const& { return *m_value; }
    const T* operator->() const { return &*m_value; }
    T* operator->() { return &*m_value; }

    /// Meaningful only when !ok().
    Error error() const { return m_error; }

private:
    std::optional<T> m_value;
    Error m_error{Error::Truncated};
};

} // namespace sms
