#include "sms/result.h"

namespace sms {

std::string_view describe(Error error) {
    switch (error) {
    case Error::BadHex:
        return "not a hex string";
    case Error::Truncated:
        return "PDU ends inside a field";
    case Error::ReservedMessageType:
        return "reserved message type";
    case Error::BadUserDataHeader:
        return "malformed user data header";
    case Error::BadAddress:
        return "address cannot be encoded";
    case Error::Unencodable:
        return "text has a character the alphabet lacks";
    case Error::TooLong:
        return "message too long";
    }
    return "unknown error";
}

} // namespace sms
