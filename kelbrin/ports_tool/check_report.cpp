#include "check_report.h"

#include "display_width.h"

#include <algorithm>
#include <cstdio>

namespace kelbrin {
namespace {

const char* verdictWord(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "ok";
    case Verdict::Warn:
        return "warn";
    case Verdict::Fail:
        return "FAIL";
    }
    return "";
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += {'\\', c};
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            quoted += escaped;
        } else {
            quoted.push_back(c);
        }
    }
    return quoted + "\"";
}

bool anyFailed(const std::vector<ModemChecklist>& checklists) {
    return std::any_of(checklists.begin(), checklists.end(),
                       [](const ModemChecklist& checklist) { return checklist.failed(); });
}

} // namespace

bool ModemChecklist::failed() const {
    return std::any_of(steps.begin(), steps.end(),
                       [](const CheckStep& step) { return step.verdict == Verdict::Fail; });
}

void ModemChecklist::add(OperatorText name, Verdict verdict, OperatorText found, OperatorText fix) {
    steps.push_back({std::move(name), verdict, std::move(found), std::move(fix)});
}

void ModemChecklist::add(OperatorText name, const StepFailure& failure, OperatorText found) {
    if (failure.failed()) {
        add(std::move(name), Verdict::Fail, failure.problem, failure.fix);
    } else {
        add(std::move(name), Verdict::Ok, std::move(found));
    }
}

std::string formatChecklists(const std::vector<ModemChecklist>& checklists, TextLanguage language) {
    std::size_t nameWidth = 0;
    for (const ModemChecklist& checklist : checklists) {
        for (const CheckStep& step : checklist.steps) {
            nameWidth = std::max(nameWidth, displayWidth(step.name.in(language)));
        }
    }
    std::string text;
    for (const ModemChecklist& checklist : checklists) {
        text += (text.empty() ? "" : "\n") + checklist.target + "\n";
        for (const CheckStep& step : checklist.steps) {
            const std::string verdict = verdictWord(step.verdict);
            const std::string name = step.name.in(language);
            text += "  " + verdict + std::string(6 - verdict.size(), ' ') + name +
                    std::string(nameWidth - displayWidth(name) + 2, ' ') + step.found.in(language) +
                    "\n";
            if (!step.fix.empty()) {
                text += std::string(8 + nameWidth + 2, ' ') +
                        OperatorText(KELBRIN_TEXT("fix: %1$s"), step.fix).in(language) + "\n";
            }
        }
    }
    return text;
}

std::string checklistsJson(const std::vector<ModemChecklist>& checklists, TextLanguage language) {
    std::string json = "{\"modems\":[";
    for (std::size_t i = 0; i < checklists.size(); ++i) {
        const ModemChecklist& checklist = checklists[i];
        json += std::string(i == 0 ? "" : ",") + "{\"target\":" + jsonString(checklist.target) +
                ",\"ok\":" + (checklist.failed() ? "false" : "true") + ",\"steps\":[";
        for (std::size_t s = 0; s < checklist.steps.size(); ++s) {
            const CheckStep& step = checklist.steps[s];
            std::string verdict = verdictWord(step.verdict);
            std::transform(verdict.begin(), verdict.end(), verdict.begin(),
                           [](char c) { return static_cast<char>(c | 0x20); });
            json += std::string(s == 0 ? "" : ",") +
                    "{\"step\":" + jsonString(step.name.english()) + ",\"verdict\":\"" + verdict +
                    "\",\"found\":" + jsonString(step.found.in(language)) +
                    ",\"fix\":" + jsonString(step.fix.in(language)) + "}";
        }
        json += "]}";
    }
    return json + "],\"ok\":" + (anyFailed(checklists) ? "false" : "true") + "}\n";
}

} // namespace kelbrin
