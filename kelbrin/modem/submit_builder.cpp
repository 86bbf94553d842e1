#include "submit_builder.h"

#include <sms/address.h>
#include <sms/data_coding.h>
#include <sms/pdu.h>
#include <sms/split.h>
#include <sms/tpdu.h>

#include <cctype>

namespace kelbrin {
namespace {

constexpr std::size_t kMaxDigits = 20;

} // namespace

std::optional<std::string> normalisePhoneNumber(const std::string& typed) {
    std::string number;
    for (char c : typed) {
        if (c == ' ' || c == '-' || c == '(' || c == ')' || c == '.' || c == '/') {
            continue;
        }
        const bool plus = c == '+' && number.empty();
        if (!plus && !std::isdigit(static_cast<unsigned char>(c)) && c != '*' && c != '#') {
            return std::nullopt;
        }
        number.push_back(c);
    }
    const std::size_t digits = number.size() - (number.rfind('+', 0) == 0 ? 1 : 0);
    if (digits == 0 || digits > kMaxDigits) {
        return std::nullopt;
    }
    return number;
}

SubmitPlan buildSubmitParts(const std::string& text, const std::string& number, uint8_t reference) {
    const auto phone = normalisePhoneNumber(number);
    if (!phone) {
        return {{},
                OperatorText(KELBRIN_TEXT("\"%1$s\" is not a phone number: use digits with "
                                          "an optional leading + (at most 20 digits)"),
                             number)};
    }
    const auto split = sms::splitText(text);
    if (!split) {
        return {{},
                OperatorText(KELBRIN_TEXT("the message cannot be sent: %1$s"),
                             std::string(sms::describe(split.error())))};
    }
    SubmitPlan plan;
    const auto total = split->parts.size();
    for (std::size_t i = 0; i < total; ++i) {
        sms::Submit submit;
        submit.destination = sms::makeAddress(*phone);
        submit.statusReportRequest = true;
        submit.dataCoding = sms::dataCodingFor(split->alphabet);
        submit.userData.text = split->parts[i];
        if (total > 1) {
            submit.userData.concatenation = sms::Concatenation{
                reference, static_cast<uint8_t>(total), static_cast<uint8_t>(i + 1), false};
        }
        const auto pdu = sms::encodePdu(submit);
        if (!pdu) {
            return {{},
                    OperatorText(KELBRIN_TEXT("the message cannot be encoded: %1$s"),
                                 std::string(sms::describe(pdu.error())))};
        }
        plan.parts.push_back(SubmitPart{pdu->hex, static_cast<int>(pdu->tpduLength)});
    }
    return plan;
}

} // namespace kelbrin
