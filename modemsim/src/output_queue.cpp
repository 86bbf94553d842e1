#include "output_queue.h"

#include <algorithm>

namespace modemsim {

void OutputQueue::push(const std::string& bytes, Clock::time_point due, bool split) {
    if (bytes.empty()) {
        return;
    }
    m_lastDue = std::max(m_lastDue, due);
    if (!split) {
        m_chunks.push_back({m_lastDue, bytes});
        return;
    }
    for (char byte : bytes) {
        m_chunks.push_back({m_lastDue, std::string(1, byte)});
        m_lastDue += kSplitGap;
    }
}

void OutputQueue::bringForward(Clock::time_point now) {
    for (Chunk& chunk : m_chunks) {
        chunk.due = std::min(chunk.due, now);
    }
    m_lastDue = std::min(m_lastDue, now);
}

void OutputQueue::dropNotDue(Clock::time_point now) {
    while (!m_chunks.empty() && m_chunks.back().due > now) {
        m_chunks.pop_back();
    }
    m_lastDue = m_chunks.empty() ? now : m_chunks.back().due;
}

std::optional<OutputQueue::Clock::time_point> OutputQueue::next() const {
    if (m_chunks.empty()) {
        return std::nullopt;
    }
    return m_chunks.front().due;
}

std::vector<std::string> OutputQueue::takeDue(Clock::time_point now) {
    std::vector<std::string> due;
    while (!m_chunks.empty() && m_chunks.front().due <= now) {
        due.push_back(std::move(m_chunks.front().bytes));
        m_chunks.pop_front();
    }
    return due;
}

} // namespace modemsim
