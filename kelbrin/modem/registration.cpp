#include "registration.h"

namespace kelbrin {

bool Registration::allowsSms() const {
    return isRegistered(circuit) || isRegistered(packet) || isRegistered(eps);
}

bool Registration::searching() const {
    // 11 (27.007: attached for restricted local operator services) is what a SIMCom A7670E
    // shows for seconds after power-up before it registers (LilyGO-Modem-Series issue 247).
    const auto settling = [](std::optional<int> stat) { return stat == 2 || stat == 11; };
    return settling(circuit) || settling(packet) || settling(eps);
}

bool isRegistered(std::optional<int> status) {
    return status && (*status == 1 || *status == 5 || *status == 6 || *status == 7 ||
                      *status == 9 || *status == 10);
}

OperatorText describeRegistrationStatus(int status) {
    switch (status) {
    case 0:
        return OperatorText(KELBRIN_TEXT("not registered"));
    case 1:
        return OperatorText(KELBRIN_TEXT("registered (home network)"));
    case 2:
        return OperatorText(KELBRIN_TEXT("searching for a network"));
    case 3:
        return OperatorText(KELBRIN_TEXT("registration denied"));
    case 5:
        return OperatorText(KELBRIN_TEXT("registered (roaming)"));
    case 6:
        return OperatorText(KELBRIN_TEXT("registered for SMS only (home network)"));
    case 7:
        return OperatorText(KELBRIN_TEXT("registered for SMS only (roaming)"));
    case 8:
        return OperatorText(KELBRIN_TEXT("emergency calls only"));
    case 9:
    case 10:
        return OperatorText(KELBRIN_TEXT("registered (CSFB not preferred)"));
    case 11:
        return OperatorText(KELBRIN_TEXT("not registered yet (restricted services only)"));
    default:
        return OperatorText(KELBRIN_TEXT("registration unknown"));
    }
}

StepFailure registrationProblem(const Registration& registration) {
    if (registration.allowsSms()) {
        return {};
    }
    if (registration.searching()) {
        return {OperatorText(KELBRIN_TEXT("the modem is still searching for a network")),
                OperatorText(KELBRIN_TEXT("check the antenna and the signal, then start again"))};
    }
    if (registration.circuit == 3) {
        return {OperatorText(KELBRIN_TEXT("the network refused to register the SIM card (+CREG "
                                          "status 3)")),
                OperatorText(KELBRIN_TEXT("check that the SIM is active"))};
    }
    return {OperatorText(KELBRIN_TEXT("the modem is not registered on a network and not "
                                      "searching (+CREG status %1$s)"),
                         registration.circuit.value_or(0)),
            OperatorText(KELBRIN_TEXT("check the SIM card and the antenna"))};
}

} // namespace kelbrin
