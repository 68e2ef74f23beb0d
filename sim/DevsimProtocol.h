#pragma once

#include <string>
#include <string_view>
#include <vector>

// The line protocol between the devsim daemon and its clients (described in
// docs/devsim.md). Every message is one line of text ending with '\n'.
namespace sim::devsim {

// Connects to the daemon's socket; -1 with `error` set on failure.
int connectToDaemon(const std::string& socketPath, std::string& error);

// Writes `line` and its newline whole; false when the peer is gone.
bool sendLine(int fd, std::string_view line);

// Reads lines from a socket, keeping what follows the last newline.
class LineReader {
public:
    explicit LineReader(int fd) : m_fd(fd) {}
    // False at end of stream or on an error; a line is returned without '\n'.
    bool readLine(std::string& line);

private:
    int m_fd;
    std::string m_buffer;
};

// One request on its own connection: the "data" lines of the answer and its
// final "ok" or "error TEXT".
struct Answer {
    bool ok = false;
    std::vector<std::string> lines;  // the text after "data "
    std::string error;               // the text after "error ", or why the daemon was not reached
    bool reached = false;            // false: nothing listens at the socket
};
Answer request(const std::string& socketPath, std::string_view line);

// First word of `line` and the rest after one space.
std::pair<std::string_view, std::string_view> splitWord(std::string_view line);

}  // namespace sim::devsim
