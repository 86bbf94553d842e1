#pragma once

#include "modemsim/stored_message.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace modemsim {

// The memories "SM", "ME" and "SR": slots numbered from 1, each memory with its capacity.
class MessageStore {
public:
    MessageStore(int capacitySm, int capacityMe, int capacitySr);

    bool hasMemory(const std::string& memory) const;
    int used(const std::string& memory) const;
    int capacity(const std::string& memory) const;
    // Messages beyond a lowered capacity stay where they are; no new one fits until they go.
    void setCapacity(const std::string& memory, int capacity);
    // The lowest free index, or nothing when the memory is full.
    std::optional<int> add(const std::string& memory, std::string pdu, std::size_t tpduLength,
                           MessageStat stat);
    StoredMessage* find(const std::string& memory, int index);
    bool remove(const std::string& memory, int index);
    // In index order.
    std::vector<StoredMessage> list(const std::string& memory) const;
    std::vector<StoredMessage> all() const;

private:
    struct Memory {
        int capacity{0};
        std::map<int, StoredMessage> slots;
    };
    std::map<std::string, Memory> m_memories;
};

} // namespace modemsim
