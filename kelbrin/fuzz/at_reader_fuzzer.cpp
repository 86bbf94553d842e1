// libFuzzer target for the AT reader. The first input byte picks the command context, the next
// ones a split pattern; the rest is modem output. Beyond "no crash, no out-of-bounds access" it
// checks the reader's central promise: the events do not depend on how the bytes were cut.
// Every line it produces also goes through the response parsers.
#include "at_parsers.h"
#include "at_reader.h"
#include "at_text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

using kelbrin::AtCommandContext;
using kelbrin::AtEvent;
using kelbrin::AtReader;

const std::array<AtCommandContext, 6> kContexts{{
    {"AT+CMGS=23", "+CMGS:", true},
    {"AT+CGSN", "+CGSN:", false, true},
    {"AT+CMGL=4", "+CMGL:", false},
    {"AT+CMGR=1", "+CMGR:", false},
    {"AT+CPIN?", "+CPIN:", false},
    {"AT", "", false},
}};

std::vector<AtEvent> feed(const AtCommandContext* context, std::string_view bytes,
                          const uint8_t* splits, std::size_t splitCount) {
    AtReader reader;
    if (context != nullptr) {
        reader.beginCommand(*context);
    }
    std::vector<AtEvent> events;
    std::size_t at = 0;
    for (std::size_t i = 0; at < bytes.size(); ++i) {
        const std::size_t size = splitCount == 0 ? bytes.size() : 1 + splits[i % splitCount] % 16;
        reader.feed(bytes.substr(at, size), events);
        at += size;
    }
    return events;
}

void parseEverything(const AtEvent& event) {
    (void)kelbrin::parseCmgsResponse(event.line);
    (void)kelbrin::parseCmtiUrc(event.line);
    (void)kelbrin::parseCmglHeader(event.line);
    (void)kelbrin::parseCmgrLength(event.line);
    (void)kelbrin::parsePduUrcLength(event.line);
    (void)kelbrin::parseCpinResponse(event.line);
    (void)kelbrin::parseCscaResponse(event.line);
    (void)kelbrin::parseRegistrationResponse(event.line);
    (void)kelbrin::splitInlinePdu(event.line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t choice = data[0] % (kContexts.size() + 1);
    const AtCommandContext* context = choice < kContexts.size() ? &kContexts[choice] : nullptr;
    const std::size_t splitCount = std::min<std::size_t>(data[1] % 8, size - 2);
    const uint8_t* splits = data + 2;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2 + splitCount),
                                 size - 2 - splitCount);

    const auto whole = feed(context, bytes, nullptr, 0);
    const auto pieces = feed(context, bytes, splits, splitCount);
    const auto single = feed(context, bytes, reinterpret_cast<const uint8_t*>("\0"), 1);
    if (whole != pieces || whole != single) {
        std::abort(); // the split changed what the reader saw
    }
    for (const auto& event : whole) {
        parseEverything(event);
    }
    return 0;
}
