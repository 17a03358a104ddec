#include "net.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/clock.h"

namespace linvaro {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One "%d": the low 8 bits of the number, computed as the number modulo 256
// so that no length of digits can overflow.
bool readNumber(const char*& p, std::uint8_t& low8)
{
    while (isSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (!isDigit(*p))
        return false;
    unsigned value = 0;
    while (isDigit(*p))
        value = (value * 10 + static_cast<unsigned>(*p++ - '0')) & 0xFF;
    low8 = static_cast<std::uint8_t>(negative ? (256 - value) & 0xFF : value);
    return true;
}

std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (size & 1)
        sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::atomic<std::uint16_t> echoSequence{0};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Whether an ICMP message (starting at its type byte) answers our request:
// the echo reply itself, or an error report quoting the request (raw sockets
// see those; a reply counts whatever it says).
bool answersRequest(const std::uint8_t* icmp, std::size_t size, bool raw, std::uint16_t id, std::uint16_t sequence)
{
    if (size < 8)
        return false;
    auto word = [](const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); };
    if (icmp[0] == ICMP_ECHOREPLY)
        return word(icmp + 6) == sequence && (!raw || word(icmp + 4) == id);
    if (!raw || (icmp[0] != ICMP_DEST_UNREACH && icmp[0] != ICMP_TIME_EXCEEDED))
        return false;
    // Error report: 8 bytes of header, then the offending IP header and the
    // first 8 bytes of our echo request.
    const std::uint8_t* inner = icmp + 8;
    const std::size_t innerSize = size - 8;
    if (innerSize < 20)
        return false;
    const std::size_t innerHeader = static_cast<std::size_t>(inner[0] & 0x0F) * 4;
    if (innerSize < innerHeader + 8)
        return false;
    const std::uint8_t* request = inner + innerHeader;
    return request[0] == ICMP_ECHO && word(request + 4) == id && word(request + 6) == sequence;
}

} // namespace

bool parseDottedQuad(const char* text, Ipv4& address)
{
    if (!text)
        return false;
    const char* p = text;
    Ipv4 bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.')
            return false;
        if (!readNumber(p, bytes[i]))
            return false;
    }
    address = bytes;
    return true;
}

bool resolveHost(const char* name, Ipv4& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (!name || ::getaddrinfo(name, nullptr, &hints, &found) != 0 || !found)
        return false;
    bool ok = false;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            std::memcpy(address.data(), &in->sin_addr, 4);
            ok = true;
            break;
        }
    }
    ::freeaddrinfo(found);
    return ok;
}

std::optional<std::int32_t> icmpEcho(const Ipv4& address, std::int32_t timeoutMs)
{
    // An unprivileged ICMP datagram socket where the system allows one, a raw socket otherwise.
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0)
        return std::nullopt;
    Fd socket(fd);

    // A datagram socket puts its own identifier into the request.
    const auto id = static_cast<std::uint16_t>(::getpid());
    const std::uint16_t sequence = static_cast<std::uint16_t>(echoSequence.fetch_add(1) + 1);
    std::uint8_t request[8] = {ICMP_ECHO, 0, 0, 0, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id),
                               static_cast<std::uint8_t>(sequence >> 8), static_cast<std::uint8_t>(sequence)};
    const std::uint16_t checksum = internetChecksum(request, sizeof request);
    request[2] = static_cast<std::uint8_t>(checksum >> 8);
    request[3] = static_cast<std::uint8_t>(checksum);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    std::memcpy(&target.sin_addr, address.data(), 4);
    const std::uint64_t start = platform::monotonicMs();
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0)
        return std::nullopt;

    const std::uint64_t deadline = start + static_cast<std::uint64_t>(timeoutMs > 0 ? timeoutMs : 0);
    std::uint8_t reply[1500];
    for (;;) {
        const std::uint64_t now = platform::monotonicMs();
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, now >= deadline ? 0 : static_cast<int>(deadline - now));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t n = ::recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (n <= 0)
            continue;
        const std::uint8_t* icmp = reply;
        std::size_t size = static_cast<std::size_t>(n);
        if (raw) { // a raw socket hands over the IP header too
            const std::size_t header = static_cast<std::size_t>(reply[0] & 0x0F) * 4;
            if (size < header)
                continue;
            icmp += header;
            size -= header;
        }
        const bool fromTarget = std::memcmp(&from.sin_addr, address.data(), 4) == 0;
        if ((icmp[0] != ICMP_ECHOREPLY || fromTarget) && answersRequest(icmp, size, raw, id, sequence))
            return static_cast<std::int32_t>(platform::monotonicMs() - start);
    }
}

} // namespace linvaro
