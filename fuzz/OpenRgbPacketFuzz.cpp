// Feeds arbitrary bytes to one SDK client session: whatever a client sends,
// the session never reads past a packet, never hands the controllers an index
// they do not have, answers only in whole packets, and once it refused the
// client takes nothing more.
#include "openrgb/ControllerMapping.h"
#include "openrgb/SdkSession.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Two cards with fresh profiles; modes and LEDs go through the real mapping.
class CheckingHost : public openrgb::ControllerHost {
public:
    CheckingHost() {
        for (effects::LedProfile& profile : m_profiles) effects::ResetProfile(profile);
    }
    int controllerCount() override { return 2; }
    openrgb::Controller describe(int index) override {
        openrgb::CardInfo info;
        info.family = index == 0 ? devicelink::Family::Standard : devicelink::Family::Led5;
        return openrgb::DescribeCard(info, profile(index));
    }
    bool updateMode(int index, int modeIndex, const openrgb::Mode& mode, bool) override {
        effects::EditorState state;
        const auto family = index == 0 ? devicelink::Family::Standard : devicelink::Family::Led5;
        return openrgb::ApplyMode(profile(index), state, family, modeIndex, mode).has_value();
    }
    bool setCustomMode(int index) override { return profile(index).zoneEffects[0] != 0; }
    bool updateLeds(int index, const openrgb::LedUpdate& update) override {
        return openrgb::SetLedColours(profile(index), update);
    }
    std::vector<std::string> profiles() override { return {"Saved profile"}; }
    bool loadProfile(const std::string& name) override { return name == "Saved profile"; }
    void refused(const std::string&) override {}

private:
    effects::LedProfile& profile(int index) {
        check(index >= 0 && index < 2);
        return m_profiles[index];
    }
    effects::LedProfile m_profiles[2];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingHost host;
    openrgb::SdkSession session(host);
    // In two pieces, as a socket may deliver it.
    const std::size_t split = size / 2;
    openrgb::Bytes reply;
    bool open = session.receive(data, split, reply);
    if (open) open = session.receive(data + split, size - split, reply);
    check(session.protocolVersion() <= openrgb::kHighestProtocol);
    // Every reply is whole packets, each within the size its header names.
    std::size_t at = 0;
    while (at < reply.size()) {
        check(reply.size() - at >= openrgb::kHeaderSize);
        const std::optional<openrgb::PacketHeader> header = openrgb::ParseHeader(reply.data() + at);
        check(header.has_value());
        at += openrgb::kHeaderSize + header->size;
        check(at <= reply.size());
    }
    if (!open) {
        openrgb::Bytes after;
        const std::uint8_t count[16] = {'O', 'R', 'G', 'B'};
        check(!session.receive(count, sizeof count, after) && after.empty());
    }
    return 0;
}
