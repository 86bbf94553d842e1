#pragma once

namespace modemsim {

// What the simulator has done so far, for tests to check against what a client saw.
struct Counters {
    int commandLines{0};     // AT command lines received
    int sendAttempts{0};     // PDUs submitted with AT+CMGS (aborted prompts not counted)
    int messagesAccepted{0}; // answered with +CMGS: <mr>
    int lastReference{-1};   // TP-MR of the last accepted message
    int reportsShown{0};     // status reports routed (+CDS) or stored (+CDSI)
    int reportsDropped{0};   // status reports AT+CNMI did not ask for, or with no room
    int messagesReceived{0}; // incoming parts routed (+CMT) or stored
    int messagesWaiting{0};  // incoming parts the network holds because memory is full
    int scriptErrors{0};     // scripted commands that failed when their time came
};

} // namespace modemsim
