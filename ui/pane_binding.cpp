#include "pane_binding.h"

#include "control_text.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include <string_view>

namespace {

// Keeps the view on the newest line when it was there before the change, so an operator who
// scrolled back to read is not pulled away by each new line.
class FollowEnd {
public:
    explicit FollowEnd(QPlainTextEdit& pane)
        : m_bar(*pane.verticalScrollBar()), m_wasAtEnd(m_bar.value() == m_bar.maximum()) {}
    FollowEnd(const FollowEnd&) = delete;
    FollowEnd& operator=(const FollowEnd&) = delete;
    ~FollowEnd() {
        if (m_wasAtEnd) {
            m_bar.setValue(m_bar.maximum());
        }
    }

private:
    QScrollBar& m_bar;
    bool m_wasAtEnd;
};

} // namespace

PaneBinding::PaneBinding(QPlainTextEdit& pane) : m_pane(pane) {
    QObject::connect(m_pane.document(), &QTextDocument::contentsChange, &m_pane,
                     [this](int, int removed, int added) {
                         if (!m_writing && (removed != 0 || added != 0)) {
                             m_editedByOperator = true;
                         }
                     });
}

void PaneBinding::refresh(const LogText& logText) {
    if (m_editedByOperator || !logText.startsWith(m_shown)) {
        rewrite(logText);
    } else if (logText.size() > m_shown.size()) {
        appendTail(logText);
    }
}

void PaneBinding::readBack(LogText& logText) {
    if (m_editedByOperator) {
        m_shown = LogText(crLfTextOf(m_pane).toStdString());
        m_editedByOperator = false;
    }
    if (!logText.sameAs(m_shown)) {
        logText = m_shown;
    }
}

void PaneBinding::appendTail(const LogText& logText) {
    const FollowEnd followEnd(m_pane);
    const std::string_view tail = std::string_view(logText.text()).substr(m_shown.size());
    m_writing = true;
    QTextCursor end(m_pane.document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromUtf8(tail.data(), static_cast<qsizetype>(tail.size())));
    m_writing = false;
    m_shown += tail;
}

void PaneBinding::rewrite(const LogText& logText) {
    m_writing = true;
    m_pane.setPlainText(QString::fromStdString(logText.text()));
    m_writing = false;
    m_pane.verticalScrollBar()->setValue(m_pane.verticalScrollBar()->maximum());
    m_shown = logText;
    m_editedByOperator = false;
}
