#include "com_port.h"

#include <algorithm>
#include <poll.h>
#include <utility>

#include "dalrix.h"
#include "platform/clock.h"

namespace dalrix {

static_assert(TfrmComPort::kBufferLimit == DALRIX_SCAN_BUFFER_SIZE);

namespace {

// Sets the busy flag for one exchange and clears it however the exchange ends.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

// A terminal whose other end has gone reads as empty and polls as hung up.
bool lineHungUp(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void appendBounded(Bytes& buffer, std::span<const std::uint8_t> bytes, std::size_t limit)
{
    const std::size_t room = limit - std::min(limit, buffer.size());
    const std::size_t take = std::min(room, bytes.size());
    buffer.insert(buffer.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
}

} // namespace

TfrmComPort::TfrmComPort(std::string logFolder) : log_(std::move(logFolder)) {}

TfrmComPort::~TfrmComPort()
{
    close();
}

bool TfrmComPort::open(int portNumber)
{
    close();
    platform::SerialPort port = platform::SerialPort::open(portNumber, kBaud);
    if (!port.isOpen())
        return false;
    // DTR on for the reader; RTS only while transmitting (direction control of
    // RS-485 converters). A pseudo-terminal has neither line, which is fine.
    port.setLine(platform::ModemLine::Dtr, true);
    port.setLine(platform::ModemLine::Rts, false);
    port_ = std::move(port);
    portNumber_ = portNumber;
    lineGone_ = false;
    received_.clear();
    scan_.clear();
    loop_ = platform::MessageLoop::currentShared();
    portThread_ = std::this_thread::get_id();
    // The watcher runs from whatever dispatches this thread's loop (the host
    // program's event loop too): nothing may be thrown back into it.
    watch_ = loop_->watchFd(port_.fd(), [this]() noexcept {
        try {
            receive();
        } catch (...) {
            // Out of memory: these bytes are lost, the exchange will time out.
        }
    });
    return true;
}

void TfrmComPort::close()
{
    dropWatcher();
    loop_.reset();
    port_.close();
    portNumber_ = 0;
}

void TfrmComPort::dropWatcher()
{
    // Only the owning thread may touch its loop; a closed descriptor leaves
    // the loop's poll set by itself, so elsewhere the entry is merely idle.
    if (watch_ != 0 && loop_ && std::this_thread::get_id() == portThread_)
        loop_->unwatch(watch_);
    watch_ = 0;
}

void TfrmComPort::receive()
{
    std::array<std::uint8_t, 4096> chunk;
    Bytes got;
    // What waits now, but not for ever on a line that never stops sending.
    while (got.size() < kBufferLimit) {
        const long n = port_.read(chunk);
        if (n > 0) {
            got.insert(got.end(), chunk.begin(), chunk.begin() + n);
            continue;
        }
        if (n < 0 || (got.empty() && lineHungUp(port_.fd()))) {
            // The line is gone (adapter removed, far end closed): it would
            // report itself readable for ever. Stop listening to it; a
            // waiting exchange ends at once.
            lineGone_ = true;
            dropWatcher();
        }
        break;
    }
    if (got.empty())
        return;
    appendBounded(received_, got, kBufferLimit);
    appendBounded(scan_, got, kBufferLimit);
    receivedSinceRequest_ += got.size();
    log_.add('R', got);
}

bool TfrmComPort::startExchange(std::span<const std::uint8_t> request)
{
    if (!lineUp())
        return false;
    // Bytes that came in before this request belong to the time before it:
    // they go to the buffers (and the log) as a notification would have
    // brought them, and are then cleared with the buffers.
    receive();
    if (lineGone_)
        return false;
    received_.clear();
    scan_.clear();
    receivedSinceRequest_ = 0;
    if (request.empty())
        return true;
    const bool directionControl = port_.setLine(platform::ModemLine::Rts, true);
    const std::size_t written = port_.write(request, kWriteLimitMs);
    if (directionControl) {
        port_.drain();
        port_.setLine(platform::ModemLine::Rts, false);
    }
    if (written > 0)
        log_.add('W', request.first(written));
    return written == request.size();
}

void TfrmComPort::waitUntil(std::uint64_t deadlineMs)
{
    const std::uint64_t now = platform::monotonicMs();
    const int left = deadlineMs > now ? static_cast<int>(deadlineMs - now) : 0;
    // Wakes as soon as the port (or a timer, or a posted task) has something.
    platform::MessageLoop::current().dispatchOnce(left);
}

int TfrmComPort::exchange(std::span<const std::uint8_t> request)
{
    if (busy_)
        return DRV_BUSY;
    BusyScope scope(busy_);
    const std::uint64_t t0 = platform::monotonicMs();
    if (!startExchange(request))
        return DRV_NO_ANSWER;
    for (;;) {
        const std::uint64_t waited = platform::monotonicMs() - t0;
        if (waited >= kAnswerLimitMs)
            return DRV_NO_ANSWER;
        waitUntil(t0 + (received_.empty() ? kFirstByteLimitMs : kAnswerLimitMs));
        if (lineGone_ && !TDalrix1::isCompleteAnswer(received_))
            return DRV_NO_ANSWER; // nothing more can come
        if (received_.empty()) {
            if (platform::monotonicMs() - t0 >= kFirstByteLimitMs)
                return DRV_NO_ANSWER;
            continue;
        }
        if (!TDalrix1::isCompleteAnswer(received_))
            continue;
        std::optional<Answer> answer = TDalrix1::checkAnswer(received_);
        if (!answer)
            return DRV_CRC_ERROR;
        last_ = std::move(*answer);
        return last_.status;
    }
}

int TfrmComPort::streamExchange(std::span<const std::uint8_t> request)
{
    if (busy_)
        return DRV_BUSY;
    BusyScope scope(busy_);
    const std::uint64_t t0 = platform::monotonicMs();
    const std::uint64_t window = std::uint64_t{scanWindowMs_} + kStreamGraceMs;
    int result = DRV_NO_ANSWER;
    if (!startExchange(request))
        return result;
    for (;;) {
        if (platform::monotonicMs() - t0 >= window)
            return result;
        const bool silent = receivedSinceRequest_ == 0;
        waitUntil(t0 + (silent ? std::min(window, kFirstByteLimitMs) : window));
        // Frames that came before the line went are still taken; then the stream ends.
        const bool lastBytes = lineGone_;
        if (receivedSinceRequest_ == 0) {
            if (lastBytes || platform::monotonicMs() - t0 >= kFirstByteLimitMs)
                return result;
            continue;
        }
        // Every frame complete so far, in order of arrival.
        while (const std::size_t size = TDalrix1::completeFrontFrame(received_)) {
            const Bytes frame(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(size));
            received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(size));
            std::optional<Answer> answer = TDalrix1::checkAnswer(frame);
            if (!answer) {
                result = DRV_CRC_ERROR; // dropped; later frames may still come
                continue;
            }
            last_ = std::move(*answer);
            result = last_.status;
            if (result != 0)
                return result;
            addInventoryEntry(last_.data);
        }
        if (lastBytes)
            return result;
    }
}

void TfrmComPort::addInventoryEntry(std::span<const std::uint8_t> data)
{
    if (data.size() != std::tuple_size_v<InventoryEntry>)
        return;
    InventoryEntry entry;
    std::copy(data.begin(), data.end(), entry.begin());
    if (std::find(inventory_.begin(), inventory_.end(), entry) == inventory_.end())
        inventory_.push_back(entry);
}

Bytes TfrmComPort::takeScanBuffer()
{
    // Collect what waits on the line, as a notification would, unless an
    // exchange is waiting (its own dispatching brings the bytes then).
    if (!busy_ && port_.isOpen())
        receive();
    return std::exchange(scan_, Bytes{});
}

} // namespace dalrix
