#pragma once

#include <cstdint>
#include <deque>

// What the main window keeps in step with the links when controllers come and
// go: the queue of arrivals held back while a firmware question is open, and
// the records of a family when one of its controllers leaves.
namespace devicecontrol {

struct DEV_PLUG_INFO {
    std::int32_t instance = 0;
    std::int32_t position = 0;
    std::int32_t event = 1;  // only arrivals are queued
    bool operator==(const DEV_PLUG_INFO&) const = default;
};

class PlugQueue {
public:
    void append(const DEV_PLUG_INFO& info) { m_entries.push_back(info); }
    bool empty() const { return m_entries.empty(); }
    std::size_t size() const { return m_entries.size(); }
    // The oldest entry; false when there is none.
    bool takeOldest(DEV_PLUG_INFO& info);
    // Drops the queued arrival of a controller that left before it was handled.
    void removeArrival(int instance, int position);

private:
    std::deque<DEV_PLUG_INFO> m_entries;
};

// wParam of a plug message: (position << 16) | instance.
constexpr std::uintptr_t PlugWord(int position, int instance) {
    return (static_cast<std::uintptr_t>(position) << 16) | static_cast<std::uintptr_t>(instance & 0xFFFF);
}

// Moves the records above `removed` down by one and clears the last one, so
// that records and link positions stay in step.
template <class Records>
void RemoveRecordAt(Records& records, int removed) {
    const int size = static_cast<int>(records.size());
    if (removed < 0 || removed >= size) return;
    for (int i = removed; i + 1 < size; ++i) records[i] = records[i + 1];
    records[size - 1] = {};
}

}  // namespace devicecontrol
