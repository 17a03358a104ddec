// Serving a simulated reader on a line the host can open: a pseudo-terminal
// published under a path (normally $TAGGING_PORT_DIR/COMn), or a TCP port.
//
// One thread per server, woken by poll() on the line, an eventfd and (for a
// pseudo-terminal) an inotify watch on the terminal device; it sleeps until
// bytes arrive, a request comes, or the reader has output due.
//
// Pseudo-terminal: the server keeps its own descriptor of the terminal side
// open, so the master never sees a hang-up between the host's opens and
// closes. It sets that side raw at the reader's speed at creation; after that
// the host sets the line. Both sides share one set of line settings, so for
// every chunk of bytes the server reads the speed the host set and hands it
// to the reader (which ignores bytes sent at a wrong speed). It watches the
// device's opens and closes: when the last host closes, it clears the
// exclusive-use flag the host's serial port set (which would otherwise
// outlive the host because of the server's own descriptor and keep an
// unprivileged host from opening the port again) and drops unsent output.
//
// The reader must outlive its server.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/event.h"

namespace sim {

class Reader;

class Server {
public:
    // Publishes the reader as a new pseudo-terminal, symlinked at linkPath
    // (an existing link there is replaced; the folder must exist).
    static std::unique_ptr<Server> pty(Reader& reader, const std::string& linkPath, std::string* error = nullptr);
    // Serves the reader to one TCP client at a time on the loopback interface
    // (anyAddress: on every interface). Port 0 picks a free port (tcpPort()).
    static std::unique_ptr<Server> tcp(Reader& reader, std::uint16_t port, std::string* error = nullptr,
                                       bool anyAddress = false);
    ~Server(); // stops serving, closes the line, removes the link

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    const std::string& linkPath() const { return linkPath_; }
    std::string devicePath() const; // the pseudo-terminal behind the link now
    std::uint16_t tcpPort() const { return tcpPort_; }

    // The line closing: a pseudo-terminal is destroyed and its link removed
    // (the host's descriptor hangs up); a TCP client is disconnected and new
    // ones are turned away. It stays closed until reopenLine().
    void closeLine();
    // Closes the line if open and re-creates it at the same path.
    void reopenLine();

    bool lineOpen() const;
    // 1 once the first line exists, one more for each re-creation.
    std::uint64_t lineGeneration() const;
    bool waitLineGeneration(std::uint64_t atLeast, int timeoutMs) const;
    bool waitLineClosed(int timeoutMs) const;
    // Hosts that have gone away: the last opener of the pseudo-terminal
    // closing, or a TCP client disconnecting.
    std::uint64_t hostDepartures() const;
    bool waitHostDepartures(std::uint64_t atLeast, int timeoutMs) const;

private:
    Server(Reader& reader, std::string linkPath, bool tcp);
    bool start(std::string* error);
    void run();
    bool takeRequests();
    void serveDueOutput();
    bool waitAndRead();
    bool nextWait(timespec& timeout) const;
    bool createPty(std::string* error);
    void destroyPty();
    void closeTcpClient();
    void readLine(int fd);
    void readWatch();
    void acceptClient();
    void flushWrite();
    void hostGone();
    void shutLine();
    void openLine();
    void setOpen(bool open, bool newGeneration);

    Reader& reader_;
    const std::string linkPath_;
    const bool tcp_;
    std::uint16_t tcpPort_ = 0;
    bool anyAddress_ = false;

    // Owned by the serving thread after start().
    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1; // inotify descriptor
    int listen_ = -1;
    int client_ = -1;
    int openers_ = 0;
    std::uint64_t reopenAtUs_ = 0;
    std::vector<std::uint8_t> pendingWrite_;

    platform::Event wake_;
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stop_ = false;
    bool closeRequested_ = false;
    bool reopenRequested_ = false;
    bool open_ = false;
    std::uint64_t generation_ = 0;
    std::uint64_t departures_ = 0;
    std::string device_;
};

} // namespace sim
