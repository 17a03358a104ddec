#include "platform/serial.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

#include "platform/clock.h"

namespace platform {

namespace {

struct SpeedEntry {
    int baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},         {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},     {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000},
};

} // namespace

bool baudToSpeed(int baud, unsigned& speed)
{
    for (const auto& e : kSpeeds)
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    return false;
}

int speedToBaud(unsigned speed)
{
    for (const auto& e : kSpeeds)
        if (e.speed == speed)
            return e.baud;
    return -1;
}

SerialPort::~SerialPort()
{
    close();
}

SerialPort::SerialPort(SerialPort&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void SerialPort::close()
{
    if (fd_ >= 0) {
        ::close(fd_); // also drops the flock and TIOCEXCL
        fd_ = -1;
    }
}

SerialPort SerialPort::open(const std::string& path, int baud)
{
    speed_t speed;
    if (!baudToSpeed(baud, speed)) {
        errno = EINVAL;
        return {};
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    SerialPort port(fd);
    // Exclusive use: TIOCEXCL keeps other openers out of the tty (except
    // privileged ones), the lock keeps out cooperating programs run as root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        port.close();
        errno = why == EWOULDBLOCK ? EBUSY : why;
        return {};
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        const int why = errno;
        port.close();
        errno = why;
        return {};
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int why = errno;
        port.close();
        errno = why;
        return {};
    }
    port.setLine(ModemLine::Rts, false);
    port.setLine(ModemLine::Dtr, false);
    port.purge(true, true);
    return port;
}

bool SerialPort::setSpeed(int baud)
{
    speed_t speed;
    termios tio{};
    if (fd_ < 0 || !baudToSpeed(baud, speed) || ::tcgetattr(fd_, &tio) != 0)
        return false;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
}

bool SerialPort::setLine(ModemLine line, bool on)
{
    if (fd_ < 0)
        return false;
    int bit = line == ModemLine::Rts ? TIOCM_RTS : TIOCM_DTR;
    return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

std::optional<ModemStatus> SerialPort::modemStatus() const
{
    int bits = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCMGET, &bits) != 0)
        return std::nullopt;
    return ModemStatus{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_RTS) != 0,
                       (bits & TIOCM_DTR) != 0};
}

void SerialPort::purge(bool input, bool output)
{
    if (fd_ < 0 || (!input && !output))
        return;
    ::tcflush(fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH);
}

std::size_t SerialPort::bytesWaiting() const
{
    int n = 0;
    if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &n) != 0 || n < 0)
        return 0;
    return static_cast<std::size_t>(n);
}

long SerialPort::read(std::span<std::uint8_t> buffer)
{
    if (fd_ < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        return errno == EAGAIN ? 0 : -1;
    }
}

std::size_t SerialPort::write(std::span<const std::uint8_t> data, int timeoutMs)
{
    if (fd_ < 0)
        return 0;
    const std::uint64_t deadline = monotonicMs() + static_cast<std::uint64_t>(std::max(timeoutMs, 0));
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            break;
        const std::uint64_t now = monotonicMs();
        if (now >= deadline)
            break;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(deadline - now));
    }
    return done;
}

void SerialPort::drain()
{
    if (fd_ >= 0)
        ::tcdrain(fd_);
}

} // namespace platform
