#include "message_store.h"

#include <utility>

namespace modemsim {

MessageStore::MessageStore(int capacitySm, int capacityMe, int capacitySr) {
    m_memories["SM"].capacity = capacitySm;
    m_memories["ME"].capacity = capacityMe;
    m_memories["SR"].capacity = capacitySr;
}

bool MessageStore::hasMemory(const std::string& memory) const {
    return m_memories.count(memory) != 0;
}

int MessageStore::used(const std::string& memory) const {
    auto found = m_memories.find(memory);
    return found == m_memories.end() ? 0 : static_cast<int>(found->second.slots.size());
}

int MessageStore::capacity(const std::string& memory) const {
    auto found = m_memories.find(memory);
    return found == m_memories.end() ? 0 : found->second.capacity;
}

void MessageStore::setCapacity(const std::string& memory, int capacity) {
    auto found = m_memories.find(memory);
    if (found != m_memories.end()) {
        found->second.capacity = capacity;
    }
}

std::optional<int> MessageStore::add(const std::string& memory, std::string pdu,
                                     std::size_t tpduLength, MessageStat stat) {
    auto found = m_memories.find(memory);
    if (found == m_memories.end()) {
        return std::nullopt;
    }
    Memory& slots = found->second;
    for (int index = 1; index <= slots.capacity; ++index) {
        if (slots.slots.count(index) == 0) {
            slots.slots[index] = StoredMessage{memory, index, stat, std::move(pdu), tpduLength};
            return index;
        }
    }
    return std::nullopt;
}

StoredMessage* MessageStore::find(const std::string& memory, int index) {
    auto found = m_memories.find(memory);
    if (found == m_memories.end()) {
        return nullptr;
    }
    auto slot = found->second.slots.find(index);
    return slot == found->second.slots.end() ? nullptr : &slot->second;
}

bool MessageStore::remove(const std::string& memory, int index) {
    auto found = m_memories.find(memory);
    return found != m_memories.end() && found->second.slots.erase(index) != 0;
}

std::vector<StoredMessage> MessageStore::list(const std::string& memory) const {
    std::vector<StoredMessage> messages;
    auto found = m_memories.find(memory);
    if (found != m_memories.end()) {
        for (const auto& slot : found->second.slots) {
            messages.push_back(slot.second);
        }
    }
    return messages;
}

std::vector<StoredMessage> MessageStore::all() const {
    std::vector<StoredMessage> messages;
    for (const auto& memory : m_memories) {
        for (const auto& slot : memory.second.slots) {
            messages.push_back(slot.second);
        }
    }
    return messages;
}

} // namespace modemsim
