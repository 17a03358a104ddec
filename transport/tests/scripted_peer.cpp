#include "scripted_peer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "frame.h"
#include "platform/clock.h"

namespace peer {

namespace fs = std::filesystem;

Bytes answerFrame(std::uint8_t mode, std::uint8_t address, std::uint8_t status, const Bytes& data, int lengthByte)
{
    const auto length = static_cast<std::uint8_t>(lengthByte < 0 ? data.size() : static_cast<std::size_t>(lengthByte));
    Bytes frame{mode};
    std::uint16_t crc = 0;
    if (linvaro::modeHasAddress(mode)) {
        frame.push_back(address);
        crc = linvaro::Crc16::update(crc, address);
    }
    frame.push_back(status);
    frame.push_back(length);
    crc = linvaro::Crc16::update(linvaro::Crc16::update(crc, status), length);
    frame.insert(frame.end(), data.begin(), data.end());
    crc = linvaro::Crc16::compute(data, crc);
    if (linvaro::modeHasCrc(mode)) {
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
        frame.push_back(static_cast<std::uint8_t>(crc));
    }
    return frame;
}

namespace {

struct PortFolder {
    PortFolder()
    {
        char pattern[] = "/tmp/linvaro-portsXXXXXX";
        if (!::mkdtemp(pattern))
            throw std::runtime_error("no port folder");
        path = pattern;
        ::setenv("TAGGING_PORT_DIR", path.c_str(), 1);
    }
    ~PortFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string path;
};

} // namespace

const std::string& portDir()
{
    static PortFolder folder;
    return folder.path;
}

std::unique_ptr<ScriptedPeer> ScriptedPeer::pty(int portNumber)
{
    std::unique_ptr<ScriptedPeer> p(new ScriptedPeer);
    p->ioFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (p->ioFd_ < 0 || ::grantpt(p->ioFd_) != 0 || ::unlockpt(p->ioFd_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const char* slave = ::ptsname(p->ioFd_);
    p->slaveFd_ = ::open(slave, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    p->link_ = portDir() + "/COM" + std::to_string(portNumber);
    std::error_code ignored;
    fs::remove(p->link_, ignored);
    fs::create_symlink(slave, p->link_);
    p->thread_ = std::thread([q = p.get()] { q->run(); });
    return p;
}

std::unique_ptr<ScriptedPeer> ScriptedPeer::tcp()
{
    std::unique_ptr<ScriptedPeer> p(new ScriptedPeer);
    p->listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (p->listenFd_ < 0 || ::bind(p->listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(p->listenFd_, 8) != 0 ||
        ::getsockname(p->listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("no listener");
    p->tcpPort_ = ntohs(address.sin_port);
    p->thread_ = std::thread([q = p.get()] { q->run(); });
    return p;
}

ScriptedPeer::~ScriptedPeer()
{
    stop_.set();
    if (thread_.joinable())
        thread_.join();
    for (int fd : {ioFd_, slaveFd_, listenFd_})
        if (fd >= 0)
            ::close(fd);
    if (!link_.empty()) {
        std::error_code ignored;
        fs::remove(link_, ignored);
    }
}

void ScriptedPeer::respond(Responder responder)
{
    std::lock_guard guard(lock_);
    responder_ = std::move(responder);
}

void ScriptedPeer::answerAll(std::uint8_t status, const Bytes& data)
{
    respond([status, data](const Request& r) { return Reply{{answerFrame(r.mode, r.address, status, data)}}; });
}

bool ScriptedPeer::write(std::span<const std::uint8_t> bytes)
{
    int fd;
    {
        std::lock_guard guard(lock_);
        fd = ioFd_;
    }
    std::size_t done = 0;
    const std::uint64_t deadline = platform::monotonicMs() + 2000;
    while (fd >= 0 && done < bytes.size() && platform::monotonicMs() < deadline) {
        const ssize_t n = listenFd_ >= 0 ? ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                                         : ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            break;
        }
    }
    return done == bytes.size();
}

bool ScriptedPeer::waitRequests(std::size_t count, int timeoutMs)
{
    std::unique_lock guard(lock_);
    return arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return requests_.size() >= count; });
}

std::vector<Request> ScriptedPeer::requests() const
{
    std::lock_guard guard(lock_);
    return requests_;
}

void ScriptedPeer::hangUp()
{
    hungUp_.reset();
    hangUp_.set();
    hungUp_.wait(5000); // the peer thread closes the line
}

void ScriptedPeer::pauseReading(bool paused)
{
    paused_.store(paused);
    wake_.set();
}

bool ScriptedPeer::waitConnected(int timeoutMs)
{
    return connected_.wait(timeoutMs);
}

// Splits the byte stream into request frames (a length of 255 is 255 data
// bytes in a request) and answers each as scripted.
void ScriptedPeer::consume(std::span<const std::uint8_t> bytes)
{
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    for (;;) {
        while (!pending_.empty() && !linvaro::isKnownMode(pending_[0]))
            pending_.erase(pending_.begin());
        if (pending_.empty())
            return;
        const std::uint8_t mode = pending_[0];
        const std::size_t header = linvaro::modeHasAddress(mode) ? 4 : 3;
        if (pending_.size() < header)
            return;
        const std::size_t total = header + pending_[header - 1] + (linvaro::modeHasCrc(mode) ? 2 : 0);
        if (pending_.size() < total)
            return;
        Request r;
        r.frame.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));
        r.mode = mode;
        r.address = linvaro::modeHasAddress(mode) ? pending_[1] : 0;
        r.command = pending_[header - 2];
        r.data.assign(pending_.begin() + static_cast<std::ptrdiff_t>(header),
                      pending_.begin() + static_cast<std::ptrdiff_t>(header + pending_[header - 1]));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));

        Reply reply;
        {
            std::lock_guard guard(lock_);
            if (responder_)
                reply = responder_(r);
            requests_.push_back(std::move(r));
        }
        arrived_.notify_all();
        for (std::size_t i = 0; i < reply.pieces.size(); ++i) {
            if (i > 0 && reply.gapMs > 0 && stop_.wait(reply.gapMs))
                return;
            write(reply.pieces[i]);
        }
    }
}

void ScriptedPeer::run()
{
    std::array<std::uint8_t, 512> buffer;
    for (;;) {
        int io;
        {
            std::lock_guard guard(lock_);
            io = ioFd_;
        }
        const bool accepting = listenFd_ >= 0;
        wake_.reset();
        pollfd fds[5] = {{stop_.fd(), POLLIN, 0},
                         {hangUp_.fd(), POLLIN, 0},
                         {paused_.load() ? -1 : io, POLLIN, 0},
                         {accepting ? listenFd_ : -1, POLLIN, 0},
                         {wake_.fd(), POLLIN, 0}};
        if (::poll(fds, 5, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        if (fds[1].revents) {
            std::lock_guard guard(lock_);
            for (int* fd : {&ioFd_, &slaveFd_})
                if (*fd >= 0) {
                    ::close(*fd);
                    *fd = -1;
                }
            pending_.clear();
            hangUp_.reset();
            hungUp_.set();
            continue;
        }
        if (fds[3].revents) {
            const int conn = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (conn >= 0) {
                std::lock_guard guard(lock_);
                if (ioFd_ >= 0)
                    ::close(ioFd_);
                ioFd_ = conn;
                pending_.clear();
                connected_.set();
            }
            continue;
        }
        if (fds[2].revents) {
            const ssize_t n = accepting ? ::recv(io, buffer.data(), buffer.size(), 0)
                                        : ::read(io, buffer.data(), buffer.size());
            if (n > 0) {
                consume(std::span(buffer).first(static_cast<std::size_t>(n)));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                std::lock_guard guard(lock_);
                if (accepting) { // the host closed the connection
                    ::close(ioFd_);
                    ioFd_ = -1;
                } else {
                    platform::sleepMs(1); // a pty with no host on it: nothing to read
                }
            }
        }
    }
}

} // namespace peer
