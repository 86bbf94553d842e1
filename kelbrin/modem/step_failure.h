#pragma once

#include "operator_text.h"

namespace kelbrin {

/// What stopped a step of the start-up: the problem and, where the operator can act on it, what
/// to do. Empty when the step passed.
struct StepFailure {
    OperatorText problem;
    OperatorText fix;

    bool failed() const { return !problem.empty(); }
    /// "<problem>: <fix>", the operator text of a failed start.
    OperatorText text() const {
        return fix.empty() ? problem : OperatorText(KELBRIN_TEXT("%1$s: %2$s"), problem, fix);
    }
};

} // namespace kelbrin
