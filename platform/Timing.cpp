#include "platform/Timing.h"

namespace platform {
namespace {
TimingPolicy& current() {
    static TimingPolicy policy;
    return policy;
}
}  // namespace

const TimingPolicy& timing() { return current(); }
void setTiming(const TimingPolicy& policy) { current() = policy; }

}  // namespace platform
