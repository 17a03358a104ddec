// Serial ports by number, as the readers' host software knows them.
//
// Port n ("COMn") is $TAGGING_PORT_DIR/COMn when that variable is set (a
// simulated reader publishes its pseudo-terminal there; a USB adapter can be
// linked there), else /dev/ttyS<n-1>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

std::string serialPortPath(int portNumber);

// Line speed in baud to its termios constant; false for speeds the line cannot take.
bool baudToSpeed(int baud, unsigned& speed);
// The baud rate a termios speed constant stands for, or -1.
int speedToBaud(unsigned speed);

enum class ModemLine { Rts, Dtr };
struct ModemStatus {
    bool cts = false;
    bool dsr = false;
    bool rts = false;
    bool dtr = false;
};

// An open serial line, non-blocking, raw 8N1 without flow control. Move-only;
// closes its descriptor on destruction.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens an existing device exclusively (no second opener, in this or any
    // other process) and sets raw 8N1 at the given speed, no flow control,
    // RTS and DTR off where the device has modem lines. On failure the port
    // stays closed and errno tells why.
    static SerialPort open(const std::string& path, int baud);
    static SerialPort open(int portNumber, int baud) { return open(serialPortPath(portNumber), baud); }

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close();

    bool setSpeed(int baud);
    // Switches RTS or DTR. False where the device has no modem lines (a pseudo-terminal).
    bool setLine(ModemLine line, bool on);
    // The modem lines, or nothing where the device has none.
    std::optional<ModemStatus> modemStatus() const;

    // Discards what is pending in the given directions.
    void purge(bool input, bool output);
    // Bytes waiting in the input queue.
    std::size_t bytesWaiting() const;
    // Reads what is there, without waiting. Returns the count, 0 when nothing waits, -1 on error.
    long read(std::span<std::uint8_t> buffer);
    // Writes everything, waiting up to timeoutMs for room. Returns bytes written.
    std::size_t write(std::span<const std::uint8_t> data, int timeoutMs);
    // Waits until everything written has left the line (tcdrain).
    void drain();

private:
    explicit SerialPort(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace platform
