#include "devicecontrol/PlugBookkeeping.h"

#include <algorithm>

namespace devicecontrol {

bool PlugQueue::takeOldest(DEV_PLUG_INFO& info) {
    if (m_entries.empty()) return false;
    info = m_entries.front();
    m_entries.pop_front();
    return true;
}

void PlugQueue::removeArrival(int instance, int position) {
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const DEV_PLUG_INFO& info) {
        return info.instance == instance && info.position == position && info.event == 1;
    });
    if (found != m_entries.end()) m_entries.erase(found);
}

}  // namespace devicecontrol
