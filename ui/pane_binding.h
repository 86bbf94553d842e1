#pragma once

#include "log_text.h"

class QPlainTextEdit;

// Binds a log pane to its log text (8-bit UTF-8, CR LF line ends) in both directions.
//
// A refresh appends only the new tail when the pane still shows the text it was last given and
// the log text has grown from it; a full rewrite, which costs milliseconds per thousand lines,
// happens only when the two diverge (the log was cleared, or the operator edited the pane). Both
// checks go by length and running hash (log_text.h), so their cost does not grow with the log.
// A read-back of a pane the operator has not touched hands back the exact bytes it was given;
// an edited pane is read from the widget as crLfTextOf() reads it.
class PaneBinding {
public:
    explicit PaneBinding(QPlainTextEdit& pane);
    PaneBinding(const PaneBinding&) = delete;
    PaneBinding& operator=(const PaneBinding&) = delete;

    void refresh(const LogText& logText);
    void readBack(LogText& logText);

private:
    void appendTail(const LogText& logText);
    void rewrite(const LogText& logText);

    QPlainTextEdit& m_pane;
    // The log text the pane shows, as it was given.
    LogText m_shown;
    // Set by any change to the pane not made by this binding.
    bool m_editedByOperator = false;
    bool m_writing = false;
};
