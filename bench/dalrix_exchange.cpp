// One exchange of the second-make driver (a block read through Dalrix.so,
// loaded as programs load it) against the simulated reader on a
// pseudo-terminal, next to the raw round trip of the same request and answer
// bytes written and read directly on the same pseudo-terminal.
#include <cstdio>
#include <poll.h>
#include <string>
#include <vector>

#include "benchmarks.h"
#include "frame_codec.h"
#include "platform/clock.h"
#include "platform/dynlib.h"
#include "platform/serial.h"
#include "sim/iso15693.h"
#include "sim/testing.h"

namespace bench {

namespace {

constexpr int kPort = 4;
constexpr int kBaud = 19200;

using OpenComPortFn = std::int32_t (*)(std::int32_t, std::uint8_t*);
using CloseComPortFn = std::int32_t (*)();
using ReadSingleBlockFn = std::int32_t (*)(std::uint8_t*, const std::uint8_t*, const std::uint8_t*, std::uint8_t,
                                           std::uint8_t*, std::uint8_t*, std::uint8_t*);

} // namespace

void dalrixExchange(Report& report, int iterations)
{
    const char* measure = "second-make exchange (block read), median";
    sim::PortFolder ports;
    std::string error;
    sim::ServedReader served = sim::serveReader("dalrix", ports.portPath(kPort), 0, {}, &error);
    if (!served)
        return report.failed(measure, error);
    served.reader->setRf(true);
    served.reader->place(sim::Tag(*sim::uidFromText("E004010012345678")));

    // The driver's request: block 1 of whichever tag answers (state 0 without a UID).
    const std::uint8_t block = 1;
    const auto request = dalrix::TDalrix1::buildRequest(0, 0x20, 0x00, {}, std::span(&block, 1));
    std::vector<double> raw;
    {
        auto port = platform::SerialPort::open(ports.portPath(kPort), kBaud);
        if (!port.isOpen())
            return report.failed(measure, "the pseudo-terminal cannot be opened");
        std::vector<std::uint8_t> answer(256);
        for (int i = 0; i < iterations + 20; ++i) {
            const std::uint64_t start = platform::monotonicUs();
            port.write(*request, 1000);
            std::size_t got = 0;
            while (!dalrix::TDalrix1::isCompleteAnswer(std::span(answer).first(got))) {
                pollfd p{port.fd(), POLLIN, 0};
                if (::poll(&p, 1, 1000) <= 0 || got == answer.size())
                    return report.failed(measure, "no raw answer");
                const long n = port.read(std::span(answer).subspan(got));
                if (n > 0)
                    got += static_cast<std::size_t>(n);
            }
            if (i >= 20)
                raw.push_back(static_cast<double>(platform::monotonicUs() - start));
        }
    }

    platform::SharedLibrary driver = platform::SharedLibrary::open(platform::programDirectory() + "/Dalrix.so");
    if (!driver.isOpen())
        return report.failed(measure, driver.error());
    driver.keepLoaded(); // as programs keep it
    const auto openPort = reinterpret_cast<OpenComPortFn>(driver.symbol("OpenComPort"));
    const auto closePort = reinterpret_cast<CloseComPortFn>(driver.symbol("CloseComPort"));
    const auto readBlock = reinterpret_cast<ReadSingleBlockFn>(driver.symbol("ReadSingleBlock"));
    std::uint8_t address = 0xFF;
    if (!openPort || !closePort || !readBlock || openPort(kPort - 1, &address) != 0)
        return report.failed(measure, "the driver cannot open the reader");
    std::vector<double> full;
    const std::uint8_t state = 0;
    std::uint8_t security = 0, errorCode = 0;
    std::uint8_t value[4]{};
    for (int i = 0; i < iterations + 20; ++i) {
        const std::uint64_t start = platform::monotonicUs();
        if (readBlock(&address, &state, nullptr, block, &security, value, &errorCode) != 0) {
            closePort();
            return report.failed(measure, "ReadSingleBlock failed");
        }
        if (i >= 20)
            full.push_back(static_cast<double>(platform::monotonicUs() - start));
    }
    closePort();

    const double rawMedian = percentile(raw, 0.5), fullMedian = percentile(full, 0.5);
    std::printf("second-make block read over a pseudo-terminal, %d iterations: raw median %.1f us p99 %.1f us, "
                "ReadSingleBlock median %.1f us p99 %.1f us\n",
                iterations, rawMedian, percentile(raw, 0.99), fullMedian, percentile(full, 0.99));
    report.add({measure, fullMedian, "raw pty round trip, median", rawMedian, "us", fullMedian / rawMedian, "",
                std::nullopt});
}

} // namespace bench
