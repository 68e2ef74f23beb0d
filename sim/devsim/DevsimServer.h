#pragma once

#include "sim/SimBackend.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The devsim daemon: serves the controllers of one SimBackend on a Unix
// stream socket (protocol in docs/devsim.md), one thread per connection.
namespace sim::devsim {

// The answer to one control request (the first line of a connection that is
// neither "open" nor "watch"): its "data ..." lines, then "ok" or "error ...".
std::vector<std::string> answerControlRequest(SimBackend& backend, const std::string& line);

class DevsimServer {
public:
    explicit DevsimServer(SimBackend& backend);
    ~DevsimServer();
    DevsimServer(const DevsimServer&) = delete;
    DevsimServer& operator=(const DevsimServer&) = delete;

    // Binds and listens; a stale socket file left by a dead daemon is replaced,
    // a live daemon's is not. False with `error` set on failure.
    bool listen(const std::string& socketPath, std::string& error);
    // Accepts connections until `stopFd` becomes readable.
    void run(int stopFd);

private:
    struct Connection;
    void serve(const std::shared_ptr<Connection>& connection);
    void serveDevice(const std::shared_ptr<Connection>& connection, const std::string& path);
    void serveWatch(const std::shared_ptr<Connection>& connection);
    void answerControl(const std::shared_ptr<Connection>& connection, const std::string& line);

    SimBackend& m_backend;
    std::string m_socketPath;
    int m_listenFd = -1;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<Connection>> m_connections;
};

}  // namespace sim::devsim
