#pragma once

#include "at_channel.h"
#include "service_sink.h"

namespace kelbrin {

/// What the modem's answer to one part of a send (AtChannel::sendPdu) says about that part.
///
/// Sent: a final OK, with the +CMGS: <mr> line (27.005 §3.5.1) or without one (Huawei E1750,
/// gammu issue 88). Failed: the PDU never went out (a refusal before the prompt, a final
/// result where the prompt should be, no prompt), or the modem, the network or the service
/// centre refused it (+CMS ERROR causes that say the message was not taken). Undetermined: the
/// PDU went out and the modem cannot say what became of it: +CMS ERROR 300 (ME failure),
/// 332 (network timeout), 500 (unknown error; a Quectel BG95-M3 sends the message all the same,
/// Quectel forum "BG95M3 error sending SMS"), 513 (lower layer failure: the acknowledgement
/// timed out after transmission, smstools3 modeminit.c), any number not known to mean a
/// refusal, an error without a number (bare ERROR hides the cause, 27.007 §9.1), a +CME ERROR,
/// no result in time, a restart, a lost port or a stop.
SendOutcome sendOutcomeOf(const AtReply& reply);

/// A refusal that left the part unsent and that the network may lift a moment later, so it is
/// worth trying again: network out of order, temporary failure ("the mobile station may wish to
/// try another short message transfer attempt almost immediately", 24.011 annex E), congestion,
/// resources unavailable, no network service (27.005 §3.2.5), and Wavecom's 512 ("MM
/// establishment failure": no connection to the network, a collision with an incoming message
/// or a weak signal) and 514 ("CP error": network congestion), as smstools3's modeminit.c
/// explains them. Never an undetermined outcome: the message may have gone.
bool isTemporaryRefusal(const AtReply& reply);

} // namespace kelbrin
