#include "answer_rule.h"

#include "at_text.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace kelbrin {
namespace {

bool isDigits(std::string_view text, std::size_t shortest, std::size_t longest) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return text.size() >= shortest && text.size() <= longest &&
           std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

/// 14 to 16 digits, quoted or not: an IMEI (15), its IMEISV form (16) or an older 14-digit one.
bool hasSerialNumberShape(std::string_view text) {
    return isDigits(trim(text), 14, 16);
}

/// 6 to 15 digits: an IMSI (23.003 §2.2: at most 15, MCC and MNC at least 5).
bool hasImsiShape(std::string_view text) {
    return isDigits(trim(text), 6, 15);
}

struct NamedRule {
    std::string_view name;
    AnswerForm form;
    bool (*shape)(std::string_view);
};

// The set and action forms that answer with something; every query and test command does too.
constexpr std::array<NamedRule, 17> kActionRules{{
    {"+CPMS", AnswerForm::InfoLine, nullptr},
    {"+CSMS", AnswerForm::InfoLine, nullptr},
    {"+CMGS", AnswerForm::InfoLine, nullptr},
    {"+CMGW", AnswerForm::InfoLine, nullptr},
    {"+CMGR", AnswerForm::InfoLine, nullptr},
    {"+CSQ", AnswerForm::InfoLine, nullptr},
    {"+CMGL", AnswerForm::Lines, nullptr},
    {"+CNUM", AnswerForm::Lines, nullptr},
    {"+CGMI", AnswerForm::Text, nullptr},
    {"+CGMM", AnswerForm::Text, nullptr},
    {"+CGMR", AnswerForm::Text, nullptr},
    {"+CGSN", AnswerForm::Text, hasSerialNumberShape},
    {"+CIMI", AnswerForm::Text, hasImsiShape},
    {"+GMI", AnswerForm::Text, nullptr},
    {"+GMM", AnswerForm::Text, nullptr},
    {"+GMR", AnswerForm::Text, nullptr},
    {"+GSN", AnswerForm::Text, hasSerialNumberShape},
}};

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return result;
}

} // namespace

std::optional<std::string> AnswerRule::answerIn(const std::vector<AtEvent>& responses) const {
    if (form == AnswerForm::Plain || form == AnswerForm::Lines) {
        return std::string();
    }
    for (const AtEvent& response : responses) {
        std::string_view text = response.line;
        if (!prefix.empty() && startsWith(text, prefix)) {
            text.remove_prefix(prefix.size());
        } else if (form == AnswerForm::InfoLine) {
            continue;
        }
        text = trim(text);
        if (form == AnswerForm::InfoLine) {
            return std::string(text);
        }
        if (text.empty() || (shape != nullptr && !shape(text))) {
            continue;
        }
        std::string answer(text);
        if (shape != nullptr) { // a number, quoted by some firmware
            answer.erase(std::remove(answer.begin(), answer.end(), '"'), answer.end());
        }
        return answer;
    }
    return std::nullopt;
}

AnswerRule answerRuleFor(std::string_view commandLine) {
    const std::string line = upper(trim(commandLine));
    if (!startsWith(line, "AT") || line.find(';') != std::string::npos) {
        return {}; // not a command, or several on one line (the start-up's basic settings)
    }
    const std::string_view body = std::string_view(line).substr(2);
    if (body == "I" || body == "I0") {
        return {AnswerForm::Text, {}, nullptr}; // V.250 §6.1.3: the product's own text
    }
    if (body.empty() || (body.front() != '+' && body.front() != '^')) {
        return {}; // basic commands answer with a result code alone
    }
    const std::size_t end = body.find_first_of("=?");
    const std::string_view name = body.substr(0, end);
    const std::string prefix = std::string(name) + ":";
    const std::string_view rest = end == std::string_view::npos ? "" : body.substr(end);
    if (rest == "?" || rest == "=?") {
        return {AnswerForm::InfoLine, prefix, nullptr};
    }
    for (const NamedRule& rule : kActionRules) {
        if (rule.name == name) {
            return {rule.form, prefix, rule.shape};
        }
    }
    return {};
}

} // namespace kelbrin
