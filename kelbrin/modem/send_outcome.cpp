#include "send_outcome.h"

#include <algorithm>
#include <array>

namespace kelbrin {
namespace {

// +CMS ERROR numbers of 27.005 §3.2.5 and of the vendors that say the message was not taken:
// the ME refused the command (301-305), the SIM or the memory did (310-322), there is no
// service centre (330), no network (331), no connection to it (512), congestion (514), or the
// modem is still starting (515). RP causes (1-127, 24.011 annex E) and TP-FCS values (128-255,
// 23.040 §9.2.3.22) are the network's and the service centre's refusals.
constexpr std::array<int, 22> kNotTaken = {301, 302, 303, 304, 305, 310, 311, 312, 313, 314, 315,
                                           316, 317, 318, 320, 321, 322, 330, 331, 512, 514, 515};
constexpr std::array<int, 7> kTemporary = {38, 41, 42, 47, 331, 512, 514};

template <std::size_t N> bool contains(const std::array<int, N>& codes, int code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

std::optional<int> cmsErrorCode(const AtReply& reply) {
    if (reply.outcome != AtOutcome::Final || reply.final != FinalKind::CmsError) {
        return std::nullopt;
    }
    return reply.errorCode;
}

} // namespace

SendOutcome sendOutcomeOf(const AtReply& reply) {
    if (reply.ok()) {
        return SendOutcome::Sent;
    }
    if (!reply.prompted) {
        return SendOutcome::Failed; // the PDU never went out
    }
    const auto code = cmsErrorCode(reply);
    if (!code) {
        return SendOutcome::Undetermined;
    }
    const bool refused = (*code >= 1 && *code <= 255) || contains(kNotTaken, *code);
    return refused ? SendOutcome::Failed : SendOutcome::Undetermined;
}

bool isTemporaryRefusal(const AtReply& reply) {
    const auto code = cmsErrorCode(reply);
    return code && contains(kTemporary, *code);
}

} // namespace kelbrin
