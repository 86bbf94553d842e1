#include "sms/status.h"

namespace sms {

StatusClass classifyStatus(std::uint8_t status) {
    if (status <= 0x1F) {
        return StatusClass::Delivered;
    }
    if (status <= 0x3F) {
        return StatusClass::StillTrying;
    }
    if (status <= 0x7F) {
        return StatusClass::Failed;
    }
    return StatusClass::Reserved;
}

} // namespace sms
