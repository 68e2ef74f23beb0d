// lumenstra-cli serve: the controllers as an OpenRGB SDK server, on one
// thread: the socket loop, the plug events and the controller writes all run
// in the program's event loop.
#include "cli/CliCommands.h"
#include "cli/CommandTable.h"
#include "devicecontrol/ConfigurationSequences.h"
#include "devicecontrol/ControllerLinks.h"
#include "devicecontrol/Encoding.h"
#include "devicecontrol/ReadBack.h"
#include "devicelink/HidLibrary.h"
#include "devicelink/UsbDriver.h"
#include "effects/Profiles.h"
#include "openrgb/ControllerMapping.h"
#include "openrgb/SdkSession.h"
#include "platform/Messages.h"
#include "platform/SingleInstance.h"
#include "platform/Utf16.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <iostream>
#include <map>
#include <memory>

namespace cli {
namespace {

using namespace effects;
using openrgb::CardInfo;

constexpr int kMaxClients = 16;
// Bytes taken from a socket per step, so that one client cannot make the
// server buffer much more than one packet.
constexpr qint64 kReadChunk = 4096;
// Plug events come in bursts (a resume brings every controller back at once).
constexpr std::chrono::milliseconds kSettlePause{300};

// One attached card: where it is, and its edit copy as the editor keeps it.
struct Card {
    Family family = Family::Standard;
    int position = 0;
    std::uint16_t deviceId = 0;  // the link's, to tell a changed list
    CardInfo info;
    LedProfileSet set;
    EditorState state;
};

// The controllers behind the SDK: reads them when they come, previews and
// applies modes on them, and tells the server when the list changed.
class CardHost : public platform::MessageWindow<QObject>, public openrgb::ControllerHost {
public:
    CardHost(std::ostream& log, std::function<void()> listChanged)
        : m_log(log), m_listChanged(std::move(listChanged)), m_session(this) {}

    void readCards() {
        m_session.refreshIdentities();
        m_cards.clear();
        const std::string folder = dataFolder();
        for (const Family family : {Family::Standard, Family::Led5}) {
            devicelink::CUSBDriver& link = m_session.link(family);
            for (int position = 0; position < link.deviceCount(); ++position) {
                Card card;
                card.family = family;
                card.position = position;
                card.deviceId = link.devices()[static_cast<std::size_t>(position)].DeviceId;
                LoadStartupProfileSet(card.set, folder);
                devicecontrol::ReadBackRequest request;
                request.family = family;
                request.position = position;
                request.readOnly = true;
                int lastApplied = 0;
                if (devicecontrol::LoadDeviceSettings(link, request, card.set, lastApplied) != 0)
                    m_log << "lumenstra-cli serve: " << familyName(family) << " controller " << position
                          << " did not answer every read; the saved profile fills in\n";
                card.state.cardEffect = EFFECT_MULTI;
                card.state.currentZone = ZONE_MAIN;
                card.info = cardInfo(family, position);
                m_cards.push_back(std::move(card));
            }
        }
    }

    int controllerCount() override { return static_cast<int>(m_cards.size()); }

    openrgb::Controller describe(int index) override {
        const Card& card = m_cards[static_cast<std::size_t>(index)];
        return openrgb::DescribeCard(card.info, card.set.selected());
    }

    bool updateMode(int index, int modeIndex, const openrgb::Mode& mode, bool save) override {
        Card& card = m_cards[static_cast<std::size_t>(index)];
        // Tried on a copy first: a refused mode leaves the edit copy as it was.
        LedProfileSet changed = card.set;
        EditorState state = card.state;
        const std::optional<std::int32_t> effect =
            openrgb::ApplyMode(changed.selected(), state, card.family, modeIndex, mode);
        if (!effect) return false;
        card.set = changed;
        card.state = state;
        devicelink::CUSBDriver* link = pointAt(card);
        if (!link) return true;
        if (save) {
            apply(card);
        } else {
            devicecontrol::SelectMode(*link, card.set, card.state);
            devicecontrol::PreviewEffect(*link, card.set, card.state);
        }
        // The preview sends only the first colours; the card gets all of them.
        if (*effect == EFFECT_DIRECT) devicecontrol::WriteLedColours(*link, openrgb::LedColours(card.set.selected()));
        return true;
    }

    bool setCustomMode(int index) override { return updateMode(index, 0, openrgb::Mode{}, false); }

    bool updateLeds(int index, const openrgb::LedUpdate& update) override {
        Card& card = m_cards[static_cast<std::size_t>(index)];
        if (!openrgb::SetLedColours(card.set.selected(), update)) return false;
        // Kept for when the card runs Direct; sent at once while it does.
        if (card.set.selected().zoneEffects[ZONE_MAIN] != EFFECT_DIRECT) return true;
        if (devicelink::CUSBDriver* link = pointAt(card))
            devicecontrol::WriteLedColours(*link, openrgb::LedColours(card.set.selected()));
        return true;
    }

    std::vector<std::string> profiles() override { return {savedProfileName()}; }

    // The saved profile is the one there is: loading it restores it to every card.
    bool loadProfile(const std::string& name) override {
        if (name != savedProfileName()) return false;
        for (Card& card : m_cards) {
            LoadStartupProfileSet(card.set, dataFolder());
            card.state = EditorState{};
            card.state.cardEffect = EFFECT_MULTI;
            card.state.currentZone = ZONE_MAIN;
            if (pointAt(card)) writeWhole(card);
        }
        return true;
    }

    void refused(const std::string& what) override { m_log << "lumenstra-cli serve: refused " << what << "\n"; }

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override {
        if (message.id == devicelink::kMsgPlug) setWindowTimer(kSettle, kSettlePause);
        return 0;
    }
    void onTimer(unsigned id) override {
        killWindowTimer(id);
        // The links' own arrivals at the start change nothing.
        if (attached() == listed()) return;
        readCards();
        m_log << "lumenstra-cli serve: " << m_cards.size() << " controller(s) attached\n" << std::flush;
        m_listChanged();
    }

private:
    static constexpr unsigned kSettle = 1;

    using Ids = std::vector<std::pair<Family, std::uint16_t>>;
    Ids attached() {
        Ids ids;
        for (const Family family : {Family::Standard, Family::Led5})
            for (const devicelink::HidNotifyRecord& device : m_session.link(family).devices())
                ids.emplace_back(family, device.DeviceId);
        return ids;
    }
    Ids listed() const {
        Ids ids;
        for (const Card& card : m_cards) ids.emplace_back(card.family, card.deviceId);
        return ids;
    }

    CardInfo cardInfo(Family family, int position) {
        devicelink::CUSBDriver& link = m_session.link(family);
        CardInfo info;
        info.family = family;
        info.title = controllerTitle(m_session, {family, position});
        info.firmware = firmwareText(link, position);
        info.identity = identityText(m_session.table(family)[static_cast<std::size_t>(position)]);
        std::string location;
        const std::uint16_t deviceId = link.devices()[static_cast<std::size_t>(position)].DeviceId;
        if (devicelink::HidGetLocationInfo(deviceId, location, link.instanceIndex()) == 1 && !location.empty())
            info.location = "HID: " + location;
        else
            info.location = std::string("HID: ") + familyName(family) + " " + std::to_string(position);
        return info;
    }

    // Null once the card has left, before the list is read again.
    devicelink::CUSBDriver* pointAt(const Card& card) {
        devicelink::CUSBDriver& link = m_session.link(card.family);
        if (!stillAttached(link, card.position) ||
            link.devices()[static_cast<std::size_t>(card.position)].DeviceId != card.deviceId)
            return nullptr;
        devicecontrol::SelectDeviceGroup(link, m_session.table(card.family), card.position);
        return &link;
    }

    std::string savedProfileName() {
        LedProfileSet saved;
        LoadStartupProfileSet(saved, dataFolder());
        const std::string name = platform::utf16ToUtf8(saved.selected().name);
        return name.empty() ? "Saved profile" : name;
    }

    // Apply: the edit copy becomes the saved profile and is written whole.
    void apply(Card& card) {
        LedProfileSet saved;
        const std::string problem = updateSaved(dataFolder(), saved, [&](LedProfileSet& files) {
            files.selected() = card.set.selected();
            return true;
        });
        if (!problem.empty()) m_log << "lumenstra-cli serve: " << problem << "\n";
        writeWhole(card);
    }

    void writeWhole(Card& card) {
        platform::SingleInstanceLock controllers;
        if (!devicecontrol::LockControllers(controllers)) {
            m_log << "lumenstra-cli serve: another program kept writing to the controllers\n";
            return;
        }
        const std::string problem = applyTo(m_session, card.family, card.position, card.set);
        if (!problem.empty())
            m_log << "lumenstra-cli serve: " << familyName(card.family) << " controller " << card.position << " "
                  << problem << "\n";
    }

    std::ostream& m_log;
    std::function<void()> m_listChanged;
    Session m_session;
    std::vector<Card> m_cards;
};

// The listening socket and its clients, each with its own session.
class SdkServer {
public:
    explicit SdkServer(CardHost& host, std::ostream& log) : m_host(host), m_log(log) {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { accept(); });
    }
    // The sockets go with the server; their signals must not reach the map on the way.
    ~SdkServer() {
        for (auto& [socket, session] : m_clients) socket->disconnect();
    }
    SdkServer(const SdkServer&) = delete;
    SdkServer& operator=(const SdkServer&) = delete;

    bool listen(const QHostAddress& address, quint16 port) { return m_server.listen(address, port); }
    QString error() const { return m_server.errorString(); }

    void broadcast(const openrgb::Bytes& packet) {
        for (auto& [socket, session] : m_clients)
            socket->write(reinterpret_cast<const char*>(packet.data()), static_cast<qint64>(packet.size()));
    }

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            if (static_cast<int>(m_clients.size()) >= kMaxClients) {
                m_log << "lumenstra-cli serve: refused a client: " << kMaxClients << " are connected\n";
                socket->abort();
                socket->deleteLater();
                continue;
            }
            m_clients.emplace(socket, std::make_unique<openrgb::SdkSession>(m_host));
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] { drop(socket); });
        }
    }

    void read(QTcpSocket* socket) {
        const auto found = m_clients.find(socket);
        if (found == m_clients.end()) return;
        openrgb::SdkSession& session = *found->second;
        char chunk[kReadChunk];
        openrgb::Bytes reply;
        for (;;) {
            const qint64 count = socket->read(chunk, sizeof chunk);
            if (count <= 0) break;
            reply.clear();
            const bool keep =
                session.receive(reinterpret_cast<const std::uint8_t*>(chunk), static_cast<std::size_t>(count), reply);
            if (!reply.empty())
                socket->write(reinterpret_cast<const char*>(reply.data()), static_cast<qint64>(reply.size()));
            if (!keep) {
                m_log << "lumenstra-cli serve: closed client \"" << session.clientName()
                      << "\": malformed or oversized packet\n";
                socket->abort();
                return;
            }
        }
    }

    void drop(QTcpSocket* socket) {
        m_clients.erase(socket);
        socket->deleteLater();
    }

    CardHost& m_host;
    std::ostream& m_log;
    QTcpServer m_server;
    std::map<QTcpSocket*, std::unique_ptr<openrgb::SdkSession>> m_clients;
};

}  // namespace

int runServe(Call& call) {
    const Options& options = call.options;
    if (options.family || options.deviceGiven)
        return call.usage("serve offers every controller: no --family or --device");
    QString addressText = "127.0.0.1";
    quint16 port = openrgb::kDefaultPort;
    if (const auto found = options.values.find("--address"); found != options.values.end())
        addressText = QString::fromStdString(found->second);
    const QHostAddress address(addressText);
    if (address.isNull())
        return call.usage("bad address \"" + addressText.toStdString() + "\" (an IPv4 or IPv6 address)");
    if (const auto found = options.values.find("--port"); found != options.values.end()) {
        const std::optional<int> number = numberIn(found->second, 1, 65535);
        if (!number) return call.usage("bad port \"" + found->second + "\" (1 to 65535)");
        port = static_cast<quint16>(*number);
    }

    // The server lock first: Lumenstra, finding its instance lock held, asks for it.
    platform::SingleInstanceLock serverLock, instanceLock;
    using Result = platform::SingleInstanceLock::Result;
    if (serverLock.acquire(devicecontrol::kServerLockName) == Result::HeldElsewhere)
        return call.failure("another lumenstra-cli serve is running");
    if (instanceLock.acquire(devicecontrol::kInstanceLockName) == Result::HeldElsewhere)
        return call.failure("Lumenstra is running and drives the controllers; close it first");
    if (const int result = call.reachBackend()) return result;

    std::unique_ptr<SdkServer> server;
    CardHost host(call.err, [&server] {
        if (server) server->broadcast(openrgb::DeviceListUpdated());
    });
    server = std::make_unique<SdkServer>(host, call.err);
    if (!server->listen(address, port))
        return call.failure("cannot listen on " + addressText.toStdString() + " port " + std::to_string(port) + ": " +
                            server->error().toStdString());
    host.readCards();
    call.out << "serving " << host.controllerCount() << " controller(s) on " << addressText.toStdString() << " port "
             << port << "\n"
             << std::flush;
    return QCoreApplication::exec();
}

}  // namespace cli
