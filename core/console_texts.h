#pragma once

#include <array>
#include <string>

// The console's texts, as UTF-8 bytes. Those that exist in two languages are chosen by
// g_bChineseUi at the moment they are used. Texts that come from the operator or the library are
// data: they are joined to the fixed texts by concatenation, never passed through a format.

// Log lines of Start and Stop.
const char* openedLine();
const char* openFailedLine();
const char* closedLine();

// The message text the send field receives at start-up.
const char* defaultMessageText();

// Texts of both languages alike.
inline constexpr const char* kLibraryNotLoaded = "动态库未加载";
inline constexpr const char* kQueryAnswerSent = "send sucessful";
inline constexpr const char* kQueryAnswerFailed = "send failed";
inline constexpr const char* kQueryAnswerUnknown = "unknown";

// The receive-pane entry of one received message: a header line, then the text indented.
std::string receivedMessageEntry(const std::string& firstHeader, const std::string& secondHeader,
                                 const std::string& text);

// The output-log line of one send report.
std::string sendReportLine(bool sent, const std::string& number, const std::string& text);

struct ControlLabel {
    int controlId;
    const char* label;
};

// The controls start-up relabels in the English UI, in the order it relabels them.
extern const std::array<ControlLabel, 13> kEnglishLabels;
