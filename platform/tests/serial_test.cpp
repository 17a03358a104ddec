#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/serial.h"

namespace fs = std::filesystem;
using platform::SerialPort;

namespace {

// A pseudo-terminal published as COMn in a private port folder.
class PtyPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        char tmpl[] = "/tmp/portsXXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::create_symlink(::ptsname(master_), dir_ / "COM7");
        ::setenv("TAGGING_PORT_DIR", dir_.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("TAGGING_PORT_DIR");
        ::close(master_);
        fs::remove_all(dir_);
    }
    int master_ = -1;
    fs::path dir_;
};

// A private configuration folder ($XDG_CONFIG_HOME) with the user's port
// map, and a system-wide map beside it.
class PortMapFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/portmapXXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        user_ = dir_.string() + "/tagging/ports.conf";
        system_ = dir_.string() + "/etc/ports.conf";
        fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        ::unsetenv("TAGGING_PORT_DIR");
    }
    void TearDown() override
    {
        ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(dir_);
    }
    static void write(const fs::path& file, const std::string& text)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    static std::string read(const fs::path& file)
    {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir_;
    std::string user_, system_;
};

} // namespace

TEST_F(PortMapFiles, ThePortFolderThenTheUsersMapThenTheSystemsThenTheMachinesPorts)
{
    user_ = platform::userPortMapFile();
    EXPECT_EQ(user_, dir_.string() + "/tagging/ports.conf");
    write(user_, "# the reader at the desk\n\n  com3 = /dev/serial/by-id/usb-desk  \nCOM0=/dev/x\nCOM4=ttyUSB0\n"
                 "COM256=/dev/x\nCOM03=/dev/x\nreader\nCOM7=/dev/old\nCOM7=/dev/new\n");
    write(system_, "COM3=/dev/ttyUSB9\nCOM5=/dev/ttyACM0\n");

    const platform::PortMap map = platform::readPortMap(user_);
    EXPECT_TRUE(map.found);
    EXPECT_EQ(map.badLines, (std::vector<int>{4, 5, 6, 7, 8})) << "bad lines are told by number";
    EXPECT_EQ(map.devices.size(), 2u);

    struct Case {
        int port;
        std::string path;
        platform::PortSource source;
    };
    for (const Case& c : {Case{3, "/dev/serial/by-id/usb-desk", platform::PortSource::UserMap},
                          Case{5, "/dev/ttyACM0", platform::PortSource::SystemMap},
                          Case{7, "/dev/new", platform::PortSource::UserMap},
                          Case{4, "/dev/ttyS3", platform::PortSource::Default},
                          Case{1, "/dev/ttyS0", platform::PortSource::Default}}) {
        const auto r = platform::resolveSerialPort(c.port, user_, system_);
        EXPECT_EQ(r.path, c.path) << "COM" << c.port;
        EXPECT_EQ(r.source, c.source) << "COM" << c.port;
    }
    EXPECT_EQ(platform::serialPortPath(3), "/dev/serial/by-id/usb-desk") << "the user's map by default";
    EXPECT_EQ(platform::resolveSerialPort(9, "", "").path, "/dev/ttyS8");

    ::setenv("TAGGING_PORT_DIR", "/tmp/ports", 1);
    EXPECT_EQ(platform::serialPortPath(3), "/tmp/ports/COM3") << "the port folder overrides the maps";
    EXPECT_EQ(platform::serialPortPath(12), "/tmp/ports/COM12");
    ::setenv("TAGGING_PORT_DIR", "", 1);
    EXPECT_EQ(platform::resolveSerialPort(3, "", "").path, "/dev/ttyS2");
}

TEST_F(PortMapFiles, MappingAPortKeepsTheRestOfTheFile)
{
    std::string error;
    ASSERT_TRUE(platform::setPortMapEntry(user_, 3, "/dev/serial/by-id/usb-a", error)) << error;
    ASSERT_TRUE(platform::setPortMapEntry(user_, 5, "/dev/ttyUSB1", error)) << error;
    write(user_, read(user_) + "# keep me\nCOM3=/dev/dup\n");
    ASSERT_TRUE(platform::setPortMapEntry(user_, 3, "/dev/serial/by-id/usb-b", error)) << error;
    const std::string text = read(user_);
    EXPECT_NE(text.find("# keep me"), std::string::npos) << text;
    EXPECT_EQ(text.find("/dev/dup"), std::string::npos) << text;
    EXPECT_LT(text.find("COM3=/dev/serial/by-id/usb-b"), text.find("COM5=")) << "in the place of the old entry";
    ASSERT_TRUE(platform::setPortMapEntry(user_, 5, "", error)) << error;
    EXPECT_EQ(platform::readPortMap(user_).devices, (std::map<int, std::string>{{3, "/dev/serial/by-id/usb-b"}}));

    EXPECT_FALSE(platform::setPortMapEntry(user_, 4, "/dev/x\nCOM5=/dev/y", error)) << "one entry, one line";
    EXPECT_FALSE(platform::setPortMapEntry(user_, 4, "ttyUSB0", error));
    write(dir_ / "blocked", "a file where a folder should be");
    EXPECT_FALSE(platform::setPortMapEntry((dir_ / "blocked/ports.conf").string(), 3, "/dev/x", error));
    EXPECT_NE(error.find("blocked"), std::string::npos) << error;
}

// A mapped device that is missing, and one this user may not open: the open
// fails and errno tells which.
TEST_F(PortMapFiles, OpeningAMappedDeviceTellsWhyItFailed)
{
    std::string error;
    ASSERT_TRUE(platform::setPortMapEntry(user_, 4, (dir_ / "unplugged").string(), error)) << error;
    errno = 0;
    EXPECT_FALSE(SerialPort::open(4, 9600).isOpen());
    EXPECT_EQ(errno, ENOENT);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    ASSERT_TRUE(platform::setPortMapEntry(user_, 5, device, error)) << error;
    fs::permissions(user_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read
                               | fs::perms::others_read);
    ASSERT_EQ(::chmod(device.c_str(), 0600), 0);
    if (::geteuid() != 0) {
        ::chmod(device.c_str(), 0);
        errno = 0;
        EXPECT_FALSE(SerialPort::open(5, 9600).isOpen());
        EXPECT_EQ(errno, EACCES);
        ::close(master);
        return;
    }
    // Root opens anything: an unprivileged child tries it.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(77);
        errno = 0;
        const bool opened = SerialPort::open(5, 9600).isOpen();
        ::_exit(opened ? 1 : errno == EACCES ? 0 : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "this machine lets no process drop root's privileges";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the unprivileged user opened it; 2: it failed for another reason";
}

TEST(SerialSpeeds, KnownRatesOnly)
{
    unsigned speed = 0;
    for (int baud : {4800, 9600, 19200, 38400, 57600, 115200}) {
        ASSERT_TRUE(platform::baudToSpeed(baud, speed)) << baud;
        EXPECT_EQ(platform::speedToBaud(speed), baud);
    }
    EXPECT_FALSE(platform::baudToSpeed(12345, speed));
    EXPECT_FALSE(platform::baudToSpeed(0, speed));
}

TEST_F(PtyPort, OpensRawAtTheGivenSpeedSeenFromTheOtherSide)
{
    SerialPort port = SerialPort::open(7, 19200);
    ASSERT_TRUE(port.isOpen()) << strerror(errno);
    // Both sides of a pseudo-terminal share one set of line settings.
    termios tio{};
    ASSERT_EQ(::tcgetattr(master_, &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);

    ASSERT_TRUE(port.setSpeed(115200));
    ASSERT_EQ(::tcgetattr(master_, &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
}

TEST_F(PtyPort, CarriesEveryByteValueBothWays)
{
    SerialPort port = SerialPort::open(7, 9600);
    ASSERT_TRUE(port.isOpen());
    std::uint8_t all[256];
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(port.write(all, 1000), sizeof all);

    std::uint8_t got[256];
    std::size_t n = 0;
    while (n < sizeof got) {
        pollfd p{master_, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 2000), 0);
        const ssize_t r = ::read(master_, got + n, sizeof got - n);
        ASSERT_GT(r, 0);
        n += static_cast<std::size_t>(r);
    }
    EXPECT_EQ(0, memcmp(all, got, sizeof all)) << "raw mode must not translate any byte";

    ASSERT_EQ(::write(master_, "\x02\x0d\x11\x13\xff", 5), 5);
    pollfd p{port.fd(), POLLIN, 0};
    ASSERT_GT(::poll(&p, 1, 2000), 0);
    std::uint8_t in[8];
    std::size_t m = 0;
    for (int tries = 0; m < 5 && tries < 100; ++tries) {
        const long r = port.read(std::span(in + m, sizeof in - m));
        ASSERT_GE(r, 0);
        m += static_cast<std::size_t>(r);
        if (m < 5)
            ::poll(&p, 1, 100);
    }
    ASSERT_EQ(m, 5u);
    EXPECT_EQ(0, memcmp(in, "\x02\x0d\x11\x13\xff", 5));
    EXPECT_EQ(port.read(in), 0) << "nothing waiting reads as 0, without blocking";
}

TEST_F(PtyPort, SecondOpenerIsRefused)
{
    SerialPort first = SerialPort::open(7, 9600);
    ASSERT_TRUE(first.isOpen());
    SerialPort second = SerialPort::open(7, 9600);
    EXPECT_FALSE(second.isOpen());
    first.close();
    SerialPort third = SerialPort::open(7, 9600);
    EXPECT_TRUE(third.isOpen()) << "closing releases the port";
}

TEST_F(PtyPort, PseudoTerminalHasNoModemLines)
{
    SerialPort port = SerialPort::open(7, 9600);
    ASSERT_TRUE(port.isOpen());
    EXPECT_FALSE(port.setLine(platform::ModemLine::Rts, true));
    EXPECT_FALSE(port.modemStatus().has_value());
}

TEST_F(PtyPort, MissingPortOrSpeedFails)
{
    EXPECT_FALSE(SerialPort::open(8, 9600).isOpen());
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(SerialPort::open(7, 12345).isOpen());
    EXPECT_EQ(errno, EINVAL);
}
