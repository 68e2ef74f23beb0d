#include "sim/DevsimProtocol.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim::devsim {

int connectToDaemon(const std::string& socketPath, std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        error = "socket path is empty or longer than " + std::to_string(sizeof address.sun_path - 1) + " bytes";
        return -1;
    }
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot reach devsim at " + socketPath + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendLine(int fd, std::string_view line) {
    std::string text(line);
    text.push_back('\n');
    std::size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool LineReader::readLine(std::string& line) {
    for (;;) {
        std::size_t newline = m_buffer.find('\n');
        if (newline != std::string::npos) {
            line = m_buffer.substr(0, newline);
            m_buffer.erase(0, newline + 1);
            return true;
        }
        // A line longer than any message of the protocol means a broken peer.
        if (m_buffer.size() > (1 << 20)) return false;
        char chunk[4096];
        ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

std::pair<std::string_view, std::string_view> splitWord(std::string_view line) {
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return {line, {}};
    return {line.substr(0, space), line.substr(space + 1)};
}

Answer request(const std::string& socketPath, std::string_view line) {
    Answer answer;
    int fd = connectToDaemon(socketPath, answer.error);
    if (fd < 0) return answer;
    answer.reached = true;
    LineReader reader(fd);
    std::string reply;
    bool finished = false;
    if (sendLine(fd, line)) {
        while (reader.readLine(reply)) {
            auto [word, rest] = splitWord(reply);
            if (word == "data") {
                answer.lines.emplace_back(rest);
            } else if (word == "ok") {
                answer.ok = true;
                answer.error.clear();
                finished = true;
                break;
            } else if (word == "error") {
                answer.error = std::string(rest);
                finished = true;
                break;
            }
        }
    }
    if (!finished) answer.error = "devsim closed the connection without an answer";
    ::close(fd);
    return answer;
}

}  // namespace sim::devsim
