#include "sim/server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

#include "platform/clock.h"
#include "platform/serial.h"
#include "sim/reader.h"

namespace sim {

namespace {

// Output nobody takes is dropped beyond this.
constexpr std::size_t kMaxPendingWrite = 1 << 20;

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string errorText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

Server::Server(Reader& reader, std::string linkPath, bool tcp)
    : reader_(reader), linkPath_(std::move(linkPath)), tcp_(tcp)
{
}

std::unique_ptr<Server> Server::pty(Reader& reader, const std::string& linkPath, std::string* error)
{
    std::unique_ptr<Server> server(new Server(reader, linkPath, false));
    if (!server->start(error))
        return nullptr;
    return server;
}

std::unique_ptr<Server> Server::tcp(Reader& reader, std::uint16_t port, std::string* error, bool anyAddress)
{
    std::unique_ptr<Server> server(new Server(reader, {}, true));
    server->tcpPort_ = port;
    server->anyAddress_ = anyAddress;
    if (!server->start(error))
        return nullptr;
    return server;
}

bool Server::start(std::string* error)
{
    if (!wake_.valid())
        return fail(error, errorText("eventfd"));
    if (tcp_) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (listen_ < 0)
            return fail(error, errorText("socket"));
        const int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(tcpPort_);
        addr.sin_addr.s_addr = htonl(anyAddress_ ? INADDR_ANY : INADDR_LOOPBACK);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 4) != 0) {
            const std::string text = errorText("TCP port " + std::to_string(tcpPort_));
            closeFd(listen_);
            return fail(error, text);
        }
        socklen_t len = sizeof addr;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        tcpPort_ = ntohs(addr.sin_port);
        setOpen(true, true);
    } else if (!createPty(error)) {
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

Server::~Server()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.set();
    if (thread_.joinable())
        thread_.join();
    destroyPty();
    closeTcpClient();
    closeFd(listen_);
}

// --- State shared with other threads -------------------------------------------

void Server::setOpen(bool open, bool newGeneration)
{
    std::lock_guard lock(mutex_);
    open_ = open;
    if (newGeneration)
        ++generation_;
    changed_.notify_all();
}

std::string Server::devicePath() const
{
    std::lock_guard lock(mutex_);
    return device_;
}

void Server::closeLine()
{
    {
        std::lock_guard lock(mutex_);
        closeRequested_ = true;
    }
    wake_.set();
}

void Server::reopenLine()
{
    {
        std::lock_guard lock(mutex_);
        reopenRequested_ = true;
    }
    wake_.set();
}

bool Server::lineOpen() const
{
    std::lock_guard lock(mutex_);
    return open_;
}

std::uint64_t Server::lineGeneration() const
{
    std::lock_guard lock(mutex_);
    return generation_;
}

bool Server::waitLineGeneration(std::uint64_t atLeast, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return generation_ >= atLeast; });
}

bool Server::waitLineClosed(int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !open_; });
}

std::uint64_t Server::hostDepartures() const
{
    std::lock_guard lock(mutex_);
    return departures_;
}

bool Server::waitHostDepartures(std::uint64_t atLeast, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return departures_ >= atLeast; });
}

// --- The line -------------------------------------------------------------------

bool Server::createPty(std::string* error)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        const std::string text = errorText("pseudo-terminal");
        destroyPty();
        return fail(error, text);
    }
    // Our own descriptor of the terminal side: keeps the line up between host opens.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (slave_ < 0 || ::tcgetattr(slave_, &tio) != 0) {
        const std::string text = errorText(name);
        destroyPty();
        return fail(error, text);
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    unsigned speed = 0;
    if (platform::baudToSpeed(reader_.baud(), speed)) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
    }
    ::tcsetattr(slave_, TCSANOW, &tio);
    // Host opens and closes of the device, to notice the last host leaving.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0) {
        const std::string text = errorText("inotify");
        destroyPty();
        return fail(error, text);
    }
    openers_ = 0;
    // Publish atomically: a host never finds the path missing or half made.
    const std::string temp = linkPath_ + ".new";
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), linkPath_.c_str()) != 0) {
        const std::string text = errorText(linkPath_);
        ::unlink(temp.c_str());
        destroyPty();
        return fail(error, text);
    }
    {
        std::lock_guard lock(mutex_);
        device_ = name;
    }
    setOpen(true, true);
    return true;
}

void Server::destroyPty()
{
    if (master_ < 0)
        return;
    std::string device;
    {
        std::lock_guard lock(mutex_);
        device = device_;
    }
    // Remove the link only while it still names our terminal.
    char target[PATH_MAX] = {};
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && device == std::string(target, static_cast<std::size_t>(n)))
        ::unlink(linkPath_.c_str());
    closeFd(watch_);
    closeFd(slave_);
    closeFd(master_);
    openers_ = 0;
    pendingWrite_.clear();
    setOpen(false, false);
}

void Server::closeTcpClient()
{
    if (client_ < 0)
        return;
    closeFd(client_);
    pendingWrite_.clear();
}

void Server::shutLine()
{
    if (tcp_) {
        closeTcpClient();
        setOpen(false, false);
    } else {
        destroyPty();
    }
    reader_.lineReset();
}

void Server::openLine()
{
    if (tcp_) {
        setOpen(true, true);
        return;
    }
    std::string error;
    if (!createPty(&error))
        reopenAtUs_ = platform::monotonicUs() + 100'000; // try again shortly
}

void Server::hostGone()
{
    pendingWrite_.clear();
    reader_.lineReset();
    std::lock_guard lock(mutex_);
    ++departures_;
    changed_.notify_all();
}

void Server::readWatch()
{
    alignas(inotify_event) char buf[4096];
    bool allGone = false;
    for (;;) {
        const ssize_t n = ::read(watch_, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + i);
            if (e->mask & IN_OPEN)
                ++openers_;
            if (e->mask & IN_CLOSE) {
                openers_ = std::max(0, openers_ - 1);
                allGone = allGone || openers_ == 0;
            }
            i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    if (!allGone)
        return;
    if (openers_ == 0) {
        // The last host's exclusive-use flag would outlive it (our own
        // descriptor keeps the terminal alive). What it sent and what it left
        // unread go with it. (A new host already in keeps both.)
        ::ioctl(slave_, TIOCNXCL);
        ::tcflush(slave_, TCIOFLUSH);
    }
    hostGone();
}

void Server::readLine(int fd)
{
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            int baud = 0;
            if (!tcp_) {
                // The host's line settings, seen through the master.
                termios tio{};
                baud = ::tcgetattr(master_, &tio) == 0 ? platform::speedToBaud(::cfgetospeed(&tio)) : -1;
            }
            reader_.lineInput(std::span<const std::uint8_t>(buf, static_cast<std::size_t>(n)), baud,
                              platform::monotonicUs());
            continue;
        }
        if (tcp_ && (n == 0 || errno != EAGAIN)) { // the client disconnected
            closeTcpClient();
            hostGone();
        }
        return;
    }
}

void Server::acceptClient()
{
    for (;;) {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (client_ >= 0 || !lineOpen()) { // one host at a time; none while the line is closed
            ::close(fd);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        client_ = fd;
        reader_.lineReset();
    }
}

void Server::flushWrite()
{
    const int fd = tcp_ ? client_ : master_;
    if (fd < 0) {
        pendingWrite_.clear();
        return;
    }
    while (!pendingWrite_.empty()) {
        const ssize_t n = ::send(fd, pendingWrite_.data(), pendingWrite_.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            const ssize_t w = ::write(fd, pendingWrite_.data(), pendingWrite_.size());
            if (w <= 0)
                break;
            pendingWrite_.erase(pendingWrite_.begin(), pendingWrite_.begin() + w);
            continue;
        }
        if (n <= 0)
            break;
        pendingWrite_.erase(pendingWrite_.begin(), pendingWrite_.begin() + n);
    }
    if (pendingWrite_.size() > kMaxPendingWrite)
        pendingWrite_.clear();
}

// The serving thread: requests from the owning thread, what is due on the
// line, then a wait for the descriptors or the next due time.
void Server::run()
{
    while (takeRequests()) {
        serveDueOutput();
        if (!waitAndRead())
            return;
    }
}

// The owning thread's requests (stop, close the line, reopen it); false to stop.
bool Server::takeRequests()
{
    wake_.reset(); // before looking at the requests, so none is missed
    bool stop, closeReq, reopenReq;
    {
        std::lock_guard lock(mutex_);
        stop = stop_;
        closeReq = std::exchange(closeRequested_, false);
        reopenReq = std::exchange(reopenRequested_, false);
    }
    if (stop)
        return false;
    if (closeReq) {
        shutLine();
        reopenAtUs_ = 0;
    }
    if (reopenReq) {
        if (lineOpen())
            shutLine();
        reopenAtUs_ = 0;
        openLine();
    }
    return true;
}

// A line closed for a while reopens when its time has come; what the reader
// has due goes out, and the line closes when the reader closes it.
void Server::serveDueOutput()
{
    const std::uint64_t now = platform::monotonicUs();
    if (reopenAtUs_ && now >= reopenAtUs_) {
        reopenAtUs_ = 0;
        openLine();
    }
    const Reader::LineAction action = reader_.lineOutput(now);
    pendingWrite_.insert(pendingWrite_.end(), action.bytes.begin(), action.bytes.end());
    flushWrite();
    if (action.close) {
        shutLine();
        if (action.reopenMs >= 0)
            reopenAtUs_ = now + static_cast<std::uint64_t>(action.reopenMs) * 1000;
    }
}

// Waits for the wake-up event, the line, the pseudo-terminal watch or the
// listening socket, at most until the next due time; then reads what came.
// False when the wait failed.
bool Server::waitAndRead()
{
    pollfd fds[4];
    nfds_t count = 0;
    fds[count++] = pollfd{wake_.fd(), POLLIN, 0};
    const int lineFd = tcp_ ? client_ : master_;
    int lineIndex = -1, watchIndex = -1, listenIndex = -1;
    if (lineFd >= 0) {
        lineIndex = static_cast<int>(count);
        fds[count++] = pollfd{lineFd, static_cast<short>(POLLIN | (pendingWrite_.empty() ? 0 : POLLOUT)), 0};
    }
    if (watch_ >= 0) {
        watchIndex = static_cast<int>(count);
        fds[count++] = pollfd{watch_, POLLIN, 0};
    }
    if (listen_ >= 0) {
        listenIndex = static_cast<int>(count);
        fds[count++] = pollfd{listen_, POLLIN, 0};
    }
    timespec timeout{};
    if (::ppoll(fds, count, nextWait(timeout) ? &timeout : nullptr, nullptr) < 0 && errno != EINTR)
        return false;

    // Opens and closes first: bytes a new host sent come after its open.
    if (watchIndex >= 0 && (fds[watchIndex].revents & POLLIN))
        readWatch();
    if (lineIndex >= 0 && (fds[lineIndex].revents & (POLLIN | POLLHUP | POLLERR)) &&
        (tcp_ ? client_ : master_) == lineFd)
        readLine(lineFd);
    if (listenIndex >= 0 && (fds[listenIndex].revents & POLLIN))
        acceptClient();
    return true;
}

// The time until the reader's next output or the line's reopening is due;
// false when nothing is due.
bool Server::nextWait(timespec& timeout) const
{
    std::optional<std::uint64_t> due = reader_.nextDueUs();
    if (reopenAtUs_ && (!due || reopenAtUs_ < *due))
        due = reopenAtUs_;
    if (!due)
        return false;
    const std::uint64_t now = platform::monotonicUs();
    const std::uint64_t waitUs = *due > now ? *due - now : 0;
    timeout.tv_sec = static_cast<time_t>(waitUs / 1'000'000);
    timeout.tv_nsec = static_cast<long>(waitUs % 1'000'000) * 1000;
    return true;
}

} // namespace sim
