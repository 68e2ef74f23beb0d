// Feeds arbitrary bytes to the devsim daemon's side of the socket protocol:
// the line reader splits them as it splits a connection, and every line is
// either a device-stream write ("write HEX") to an open controller or a
// control request against a simulator holding two controllers.
#include "sim/DevsimProtocol.h"
#include "sim/Record.h"
#include "sim/SimBackend.h"
#include "sim/devsim/DevsimServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// More lines than this only repeat what shorter inputs reach.
constexpr int kMaxLines = 64;
// Written whole into a socket before it is read: stays below its buffer.
constexpr std::size_t kMaxInput = 64 * 1024;

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return 0;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(ends[1], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) std::abort();
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(ends[1], SHUT_WR);

    sim::SimBackend backend(std::chrono::milliseconds(0));
    sim::DeviceSpec led5;
    led5.kind = sim::ControllerKind::Led5;
    led5.bootLoader = true;
    backend.plug(sim::DeviceSpec{});
    backend.plug(led5);
    hid::OpenError error = hid::OpenError::None;
    std::unique_ptr<hid::Device> device = backend.open(sim::SimBackend::pathOf(1), error);
    check(device != nullptr);

    sim::devsim::LineReader reader(ends[0]);
    std::string line;
    for (int lines = 0; lines < kMaxLines && reader.readLine(line); ++lines) {
        const auto [word, rest] = sim::devsim::splitWord(line);
        if (word == "write") {
            std::string bytes;
            if (sim::fromHex(rest, bytes))
                device->write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
            continue;
        }
        // Every answer ends with exactly one "ok" or "error ...", after its data lines.
        const std::vector<std::string> answer = sim::devsim::answerControlRequest(backend, line);
        check(!answer.empty());
        for (std::size_t i = 0; i + 1 < answer.size(); ++i) check(answer[i].rfind("data ", 0) == 0);
        check(answer.back() == "ok" || answer.back().rfind("error ", 0) == 0);
    }
    ::close(ends[0]);
    ::close(ends[1]);
    return 0;
}
