#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
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

} // namespace

TEST(SerialPortPath, FollowsThePortFolderOrTheSystemNames)
{
    ::unsetenv("TAGGING_PORT_DIR");
    EXPECT_EQ(platform::serialPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(platform::serialPortPath(9), "/dev/ttyS8");
    ::setenv("TAGGING_PORT_DIR", "/tmp/ports", 1);
    EXPECT_EQ(platform::serialPortPath(3), "/tmp/ports/COM3");
    EXPECT_EQ(platform::serialPortPath(12), "/tmp/ports/COM12");
    ::setenv("TAGGING_PORT_DIR", "", 1);
    EXPECT_EQ(platform::serialPortPath(3), "/dev/ttyS2");
    ::unsetenv("TAGGING_PORT_DIR");
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
