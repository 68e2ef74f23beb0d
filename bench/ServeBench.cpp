// lumenstra-cli serve against a devsim daemon with one LED5 controller (1 ms
// reply latency): how many LED updates a second one SDK client gets onto the
// controller, next to the controller's own limit (two colour-block writes per
// update, each taking the longer of reply latency and write pause, plus the
// command pause); and the server's processor time while idle with that client
// connected. Usage: serve_bench [UPDATES] [IDLE_SECONDS] (default 500 and 20).
#include "openrgb/Protocol.h"
#include "platform/LittleEndian.h"
#include "platform/Timing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLatency = std::chrono::milliseconds(1);
constexpr auto kCommandPause = std::chrono::milliseconds(1);

// User and system time of a process, in seconds, from /proc.
double processorSeconds(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t end = text.rfind(')');
    if (end == std::string::npos) return 0;
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) user = std::stoull(field);
        if (index == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool send(QTcpSocket& socket, std::uint32_t id, const openrgb::Bytes& data) {
    const openrgb::Bytes packet = openrgb::MakePacket(0, id, data);
    socket.write(reinterpret_cast<const char*>(packet.data()), static_cast<qint64>(packet.size()));
    return socket.waitForBytesWritten(10000);
}

// Waits for one reply packet and returns its data.
bool reply(QTcpSocket& socket, openrgb::Bytes& data) {
    while (socket.bytesAvailable() < static_cast<qint64>(openrgb::kHeaderSize))
        if (!socket.waitForReadyRead(60000)) return false;
    std::uint8_t header[openrgb::kHeaderSize];
    socket.read(reinterpret_cast<char*>(header), sizeof header);
    const std::uint32_t size = platform::readLe32(header + 12);
    while (socket.bytesAvailable() < size)
        if (!socket.waitForReadyRead(60000)) return false;
    data.resize(size);
    socket.read(reinterpret_cast<char*>(data.data()), size);
    return true;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace

int main(int argc, char** argv) {
    const int updates = argc > 1 ? std::atoi(argv[1]) : 500;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    QCoreApplication application(argc, argv);
    QTemporaryDir home;
    const QString runtime = home.path() + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
    environment.insert("XDG_RUNTIME_DIR", runtime);
    const QString socketPath = runtime + "/devsim.sock";
    environment.insert("LUMENSTRA_HID", "devsim:" + socketPath);

    QProcess devsim, server;
    devsim.setProcessEnvironment(environment);
    server.setProcessEnvironment(environment);
    devsim.start(LUMENSTRA_BIN_DIR "/devsim", {"serve", "--socket", socketPath, "--latency-ms",
                                               QString::number(kLatency.count()), "--device", "led5,name=Bench"});
    for (int attempt = 0; attempt < 200 && !QFile::exists(socketPath); ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    const quint16 port = freePort();
    server.start(LUMENSTRA_BIN_DIR "/lumenstra-cli", {"serve", "--port", QString::number(port)});
    QTcpSocket client;
    for (int attempt = 0; attempt < 400; ++attempt) {
        client.connectToHost(QHostAddress::LocalHost, port);
        if (client.waitForConnected(100)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (client.state() != QAbstractSocket::ConnectedState) {
        std::fprintf(stderr, "serve_bench: the server did not come up: %s\n",
                     server.readAllStandardError().toStdString().c_str());
        return 1;
    }

    openrgb::Bytes data(4);
    platform::writeLe32(data.data(), 3);
    send(client, openrgb::REQUEST_PROTOCOL_VERSION, data);
    reply(client, data);
    send(client, openrgb::RGBCONTROLLER_SETCUSTOMMODE, {});
    send(client, openrgb::REQUEST_CONTROLLER_COUNT, {});
    reply(client, data);

    // Every update changes every LED, so no write could be skipped.
    const auto start = Clock::now();
    for (int update = 0; update < updates; ++update) {
        openrgb::Bytes leds(6 + 4 * 17);
        platform::writeLe32(leds.data(), static_cast<std::uint32_t>(leds.size()));
        platform::writeLe16(leds.data() + 4, 17);
        for (int led = 0; led < 17; ++led)
            platform::writeLe32(leds.data() + 6 + 4 * led, static_cast<std::uint32_t>(update * 17 + led) & 0xFFFFFF);
        send(client, openrgb::RGBCONTROLLER_UPDATELEDS, leds);
    }
    // Answered once every update before it went out.
    send(client, openrgb::REQUEST_CONTROLLER_COUNT, {});
    if (!reply(client, data)) {
        std::fprintf(stderr, "serve_bench: no answer after the updates\n");
        return 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const auto writePause = std::chrono::duration_cast<std::chrono::microseconds>(platform::timing().hidWritePause);
    const auto perWrite = std::max<std::chrono::microseconds>(kLatency, writePause) + kCommandPause;
    const double limit = 1.0 / (2 * std::chrono::duration<double>(perWrite).count());
    std::printf(
        "LED updates through the server: %d in %.2f s, %.1f a second; the controller's limit %.1f a second "
        "(two colour blocks of %.1f ms each); %.0f %% of it\n",
        updates, seconds, updates / seconds, limit, std::chrono::duration<double, std::milli>(perWrite).count(),
        100.0 * (updates / seconds) / limit);

    const double before = processorSeconds(server.processId());
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double used = processorSeconds(server.processId()) - before;
    std::printf("server idle over %d s with one client connected: %.3f s of processor time, %.3f %% of a core\n",
                idleSeconds, used, 100.0 * used / idleSeconds);

    client.disconnectFromHost();
    server.terminate();
    server.waitForFinished(5000);
    devsim.terminate();
    devsim.waitForFinished(5000);
    return 0;
}
