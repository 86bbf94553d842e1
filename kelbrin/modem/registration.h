#pragma once

#include "step_failure.h"

#include <optional>
#include <string>

namespace kelbrin {

/// The <stat> of +CREG (circuit-switched), +CGREG (GPRS) and +CEREG (EPS), 27.007 §7.2;
/// nothing where the modem did not say (a 2G modem answers ERROR to +CEREG).
struct Registration {
    std::optional<int> circuit;
    std::optional<int> packet;
    std::optional<int> eps;

    /// Registered in a way that carries SMS on any of the three.
    bool allowsSms() const;
    /// Some domain is still looking for a network.
    bool searching() const;
};

/// 1 home, 5 roaming, 6/7 "registered for SMS only" (LTE modules: botletics SIM7000-LTE-Shield
/// issue 50, LilyGo-Modem-Series issue 388), 9/10 "CSFB not preferred" (ModemManager counts all
/// of them as registered).
bool isRegistered(std::optional<int> status);

/// "registered (home network)", "searching for a network", … for one <stat>.
OperatorText describeRegistrationStatus(int status);

/// Why no message can go out, and what to do, for a modem that is registered nowhere and whose
/// radio is on; empty when @p registration allows SMS.
StepFailure registrationProblem(const Registration& registration);

} // namespace kelbrin
