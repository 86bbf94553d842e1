#include "registration.h"

namespace kelbrin {

bool Registration::allowsSms() const {
    return isRegistered(circuit) || isRegistered(packet) || isRegistered(eps);
}

bool Registration::searching() const {
    return circuit == 2 || packet == 2 || eps == 2;
}

bool isRegistered(std::optional<int> status) {
    return status && (*status == 1 || *status == 5 || *status == 6 || *status == 7 ||
                      *status == 9 || *status == 10);
}

std::string describeRegistrationStatus(int status) {
    switch (status) {
    case 0:
        return "not registered";
    case 1:
        return "registered (home network)";
    case 2:
        return "searching for a network";
    case 3:
        return "registration denied";
    case 5:
        return "registered (roaming)";
    case 6:
        return "registered for SMS only (home network)";
    case 7:
        return "registered for SMS only (roaming)";
    case 8:
        return "emergency calls only";
    case 9:
    case 10:
        return "registered (CSFB not preferred)";
    default:
        return "registration unknown";
    }
}

StepFailure registrationProblem(const Registration& registration) {
    if (registration.allowsSms()) {
        return {};
    }
    if (registration.searching()) {
        return {"the modem is still searching for a network",
                "check the antenna and the signal, then start again"};
    }
    if (registration.circuit == 3) {
        return {"the network refused to register the SIM card (+CREG status 3)",
                "check that the SIM is active"};
    }
    return {"the modem is not registered on a network and not searching (+CREG status " +
                std::to_string(registration.circuit.value_or(0)) + ")",
            "check the SIM card and the antenna"};
}

} // namespace kelbrin
