#pragma once

#include "at_channel.h"
#include "check_report.h"

#include <string>

namespace kelbrin {

/// Sends one short message with a status report requested to @p number and waits for its report
/// and for a message from @p number: the steps "send", "report" and "reply", with their times.
/// A message that comes back is read, not deleted: the service takes it at its next Start.
/// The indication settings it needs are set back as they were.
void sendThereAndBack(AtChannel& channel, const std::string& number, ModemChecklist& check);

} // namespace kelbrin
