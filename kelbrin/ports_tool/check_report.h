#pragma once

#include "step_failure.h"

#include <string>
#include <vector>

namespace kelbrin {

enum class Verdict { Ok, Warn, Fail };

/// One line of the checklist: what was checked, how it went, what was found and, for a warning
/// or a failure, what to do about it.
struct CheckStep {
    OperatorText name;
    Verdict verdict = Verdict::Ok;
    OperatorText found;
    OperatorText fix;
};

/// The checklist of one modem.
struct ModemChecklist {
    std::string target; ///< the port or device as given: "COM3", "/dev/ttyUSB2"
    std::vector<CheckStep> steps;

    bool failed() const;
    void add(OperatorText name, Verdict verdict, OperatorText found, OperatorText fix = {});
    /// A step of the start-up: ok with @p found, or its failure with the failure's fix.
    void add(OperatorText name, const StepFailure& failure, OperatorText found);
};

/// One block per modem: "ok    signal   -67 dBm, 4 of 5 bars (+CSQ: 23)", with the fix indented
/// under a step that is not ok; in @p language but for the verdicts.
std::string formatChecklists(const std::vector<ModemChecklist>& checklists, TextLanguage language);

/// The same as one JSON object: {"modems":[{"target":…,"ok":…,"steps":[{"step":…,
/// "verdict":"ok|warn|fail","found":…,"fix":…}]}],"ok":…}. Keys, step names and verdicts stay
/// English for scripts; what was found and the fix are in @p language.
std::string checklistsJson(const std::vector<ModemChecklist>& checklists, TextLanguage language);

} // namespace kelbrin
