// Serial ports by number, as the readers' host software knows them.
//
// Port n ("COMn") is $TAGGING_PORT_DIR/COMn when that variable is set (a
// simulated reader publishes its pseudo-terminal there). Otherwise the port
// map says which device it is: the user's map file, then the system's, each
// with lines "COMn=/dev/serial/by-id/usb-..." (a USB serial adapter by its
// stable name). A port neither map names is /dev/ttyS<n-1> (COM1 is
// /dev/ttyS0, the first serial port of the machine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The device of port COMn.
std::string serialPortPath(int portNumber);

// Where a port's device came from.
enum class PortSource {
    PortFolder, // $TAGGING_PORT_DIR/COMn
    UserMap,    // the user's map file
    SystemMap,  // the system-wide map file
    Default,    // /dev/ttyS<n-1>
};

struct PortResolution {
    std::string path;
    PortSource source = PortSource::Default;
    std::string mapFile; // the map file that named the port (UserMap, SystemMap)
};

// COMn as serialPortPath resolves it, and why.
PortResolution resolveSerialPort(int portNumber);
// The same with the two map files given (an empty name: no such file); the
// port folder of $TAGGING_PORT_DIR still comes first.
PortResolution resolveSerialPort(int portNumber, const std::string& userMap, const std::string& systemMap);

// The user's map file: tagging/ports.conf in $XDG_CONFIG_HOME (when it is an
// absolute path) or in ~/.config; empty when the user has no home folder.
std::string userPortMapFile();
// The system-wide map file, /etc/tagging/ports.conf.
std::string systemPortMapFile();

// A map file as read. Lines: "COMn=DEVICE" (n a decimal number from 1 to 255,
// DEVICE an absolute path; blanks around either are ignored), blank lines,
// and comment lines starting with '#'. A later line for the same port
// overrides an earlier one.
struct PortMap {
    bool found = false;                 // the file exists and was read
    std::map<int, std::string> devices; // port number -> device
    std::vector<int> badLines;          // numbers of the lines that are none of the above
};
PortMap readPortMap(const std::string& file);

// Sets COMn to device (an absolute path) in the map file, or removes the
// port's lines when device is empty, keeping every other line; creates the
// file and its folder when missing. False with the reason in error when the
// device is no path or the file cannot be written.
bool setPortMapEntry(const std::string& file, int portNumber, const std::string& device, std::string& error);

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
