#include "sms/data_coding.h"

namespace sms {

Alphabet alphabetOf(std::uint8_t dataCodingScheme) {
    const unsigned group = dataCodingScheme >> 4;
    if (group <= 0x7) {
        // General data coding (00xx) and marked-for-deletion (01xx) groups share one layout:
        // bit 5 compressed, bits 3-2 the alphabet (11 reserved, read as the default alphabet).
        if ((dataCodingScheme & 0x20) != 0) {
            return Alphabet::Data8;
        }
        switch ((dataCodingScheme >> 2) & 0x03) {
        case 1:
            return Alphabet::Data8;
        case 2:
            return Alphabet::Ucs2;
        default:
            return Alphabet::Gsm7;
        }
    }
    if (group == 0xE) {
        return Alphabet::Ucs2;
    }
    if (group == 0xF) {
        return (dataCodingScheme & 0x04) != 0 ? Alphabet::Data8 : Alphabet::Gsm7;
    }
    // 1000-1011 are reserved and 1100/1101 are message waiting in the default alphabet.
    return Alphabet::Gsm7;
}

std::uint8_t dataCodingFor(Alphabet alphabet) {
    switch (alphabet) {
    case Alphabet::Gsm7:
        return 0x00;
    case Alphabet::Data8:
        return 0x04;
    case Alphabet::Ucs2:
        return 0x08;
    }
    return 0x00;
}

} // namespace sms
