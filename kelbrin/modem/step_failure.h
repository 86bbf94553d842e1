#pragma once

#include <string>

namespace kelbrin {

/// What stopped a step of the start-up: the problem and, where the operator can act on it, what
/// to do. Empty when the step passed.
struct StepFailure {
    std::string problem;
    std::string fix;

    bool failed() const { return !problem.empty(); }
    /// "<problem>: <fix>", the operator text of a failed start.
    std::string text() const { return fix.empty() ? problem : problem + ": " + fix; }
};

} // namespace kelbrin
