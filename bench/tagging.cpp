// The tag mapping library against simulated readers in realistic timing mode
// (the reader spends the wire time of every byte at its line speed and the
// ISO 15693 air time of every command):
//
// 1. A full book write as the book page does it (AFI, EAS, 8 blocks, locks,
//    then the verification read of the identifier), timed on the caller's
//    side, next to the wire and air time of the same commands that the
//    simulator models. The ratio is what the whole software stack adds
//    (target: within 1.1x).
// 2. Continuous reading with a 50 ms read session: the time from laying a
//    tag on the reader (at a random moment) to its callback, over many
//    placements. Target: the worst below two periods plus the command time
//    of one reporting cycle.
//
// Run from build/bin, where Dalrix.so lies (bench_all --only tagging).
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "benchmarks.h"
#include "brenholt.h"
#include "platform/clock.h"
#include "platform/loop.h"
#include "sim/testing.h"

namespace bench {

namespace {

constexpr int kPort = 3;
constexpr std::uint32_t kPeriodMs = 50;
constexpr std::uint32_t kPageReadMask = BRN_ITEM_ALL; // the book page reads with mask 127

struct Family {
    const char* sim;
    bool firstMake;
};
const Family kFamilies[] = {{"feno", true}, {"orba", true}, {"talu", true}, {"dalrix", false}};

sim::Uid tagUid(int n)
{
    return {0xE0, 0x04, 0x01, 0x00, 0x00, 0x0B, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

brnItem lockedBook()
{
    brnItem item{};
    item.blockSize = 4;
    item.itemType = BRN_ITEM_TYPE_BOOK;
    item.validMask = 0x7F;
    item.lockMask = BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY;
    item.easState = 1;
    item.formatVersion = 1;
    item.itemId = 4412000012345ULL;
    item.libraryId = 44120;
    item.book.location = 2 << 5;
    item.book.mediaType = 1;
    return item;
}

// A reader of the family served as COM3 and opened by the library.
struct Bench {
    sim::PortFolder ports;
    sim::ServedReader served;
    brnHandle handle = nullptr;

    // Empty, or why the reader could not be opened.
    std::string open(const Family& f)
    {
        std::string error;
        served = sim::serveReader(f.sim, ports.portPath(kPort), 0, {}, &error);
        if (!served)
            return error;
        std::int32_t family = 0;
        const std::int32_t code = f.firstMake ? brnOpenSerial(kPort, &handle, &family)
                                              : brnOpenSerialByType(kPort, "DL", &handle, &family);
        if (code != BRN_OK)
            return "open failed (" + std::to_string(code) + ")";
        served.reader->setTiming(sim::Timing::Realistic);
        return {};
    }
    ~Bench()
    {
        if (handle)
            brnClose(handle);
    }
    sim::Reader& reader() { return *served.reader; }
};

void benchWrite(Report& report, const Family& f, int writes)
{
    const std::string measure = std::string("book write + verify, ") + f.sim + ", median";
    Bench b;
    if (const std::string error = b.open(f); !error.empty())
        return report.failed(measure, error);
    std::vector<double> measured, modelled, ratios;
    for (int i = 0; i < writes; ++i) {
        b.reader().removeAll();
        b.reader().place(sim::Tag(tagUid(i)));
        b.reader().resetCounters();
        brnItem item = lockedBook();
        brnItem back{};
        back.blockSize = 4;
        const std::uint64_t start = platform::monotonicUs();
        const std::int32_t written = brnWriteItems(b.handle, &item);
        const std::int32_t verified = brnReadSingleItem(b.handle, 10, BRN_ITEM_IDENTITY, &back);
        const std::uint64_t took = platform::monotonicUs() - start;
        if (written != BRN_OK || verified != BRN_OK || back.itemId != item.itemId)
            return report.failed(measure, "write " + std::to_string(i) + " failed (" + std::to_string(written) +
                                              ", " + std::to_string(verified) + ")");
        const sim::TimingReport report = b.reader().timingReport();
        measured.push_back(static_cast<double>(took) / 1000.0);
        modelled.push_back(static_cast<double>(report.modelledUs()) / 1000.0);
        ratios.push_back(static_cast<double>(took) / static_cast<double>(report.modelledUs()));
    }
    const double worst = *std::max_element(ratios.begin(), ratios.end());
    const double ratio = percentile(ratios, 0.5);
    std::printf("  %-7s book write + verify  median %7.1f ms  wire+air %7.1f ms  ratio median %.3f  worst %.3f\n",
                f.sim, percentile(measured, 0.5), percentile(modelled, 0.5), ratio, worst);
    report.add({measure, percentile(measured, 0.5), "wire + air time, median", percentile(modelled, 0.5), "ms", ratio,
                "<= 1.1", ratio <= 1.1});
}

struct Latency {
    std::uint64_t placedUs = 0;
    std::uint64_t reportedUs = 0;
    int reports = 0;
};

void onReport(brnHandle, std::int32_t event, brnItem*, void* context)
{
    if (event != BRN_EVENT_NEW_TAG)
        return;
    auto& l = *static_cast<Latency*>(context);
    l.reportedUs = platform::monotonicUs();
    ++l.reports;
}

void benchReading(Report& report, const Family& f, int placements)
{
    const std::string measure = std::string("tag to callback, ") + f.sim + ", worst";
    Bench b;
    if (const std::string error = b.open(f); !error.empty())
        return report.failed(measure, error);
    platform::MessageLoop& loop = platform::MessageLoop::current();
    brnSetReadSessionDuration(b.handle, 0, kPeriodMs);
    Latency latency;

    // The command time of a reporting cycle (field on, inventory, the page's
    // reads): the modelled time up to the callback of a first tick.
    b.reader().place(sim::Tag(tagUid(9999)));
    std::uint64_t cycleUs = 0;
    for (int i = 0; i < 5; ++i) {
        b.reader().resetCounters();
        const int before = latency.reports;
        brnStartReadingItems(b.handle, kPageReadMask, onReport, &latency);
        if (!loop.runUntil([&] { return latency.reports > before; }, 5000))
            return report.failed(measure, "no report");
        cycleUs = std::max(cycleUs, b.reader().timingReport().modelledUs());
        brnStopReadingItems(b.handle);
    }
    b.reader().removeAll();

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> wait(0, static_cast<int>(kPeriodMs) - 1);
    std::vector<double> ms;
    brnStartReadingItems(b.handle, kPageReadMask, onReport, &latency);
    for (int i = 0; i < placements; ++i) {
        loop.runFor(wait(random)); // a random moment between ticks
        const int before = latency.reports;
        b.reader().place(sim::Tag(tagUid(i)));
        latency.placedUs = platform::monotonicUs();
        if (!loop.runUntil([&] { return latency.reports > before; }, 5000)) {
            brnStopReadingItems(b.handle);
            return report.failed(measure, "placement " + std::to_string(i) + " not reported");
        }
        ms.push_back(static_cast<double>(latency.reportedUs - latency.placedUs) / 1000.0);
        b.reader().removeAll();
    }
    brnStopReadingItems(b.handle);
    const double worst = *std::max_element(ms.begin(), ms.end());
    const double cycleMs = static_cast<double>(cycleUs) / 1000.0;
    const double bound = 2.0 * kPeriodMs + cycleMs;
    std::printf("  %-7s tag to callback      median %7.1f ms  worst %7.1f ms  bound %6.1f ms "
                "(2 x %u ms + cycle %.1f ms)\n",
                f.sim, percentile(ms, 0.5), worst, bound, kPeriodMs, cycleMs);
    char limit[64];
    std::snprintf(limit, sizeof limit, "2 x %u ms session + cycle", kPeriodMs);
    report.add({measure, worst, limit, bound, "ms", worst / bound, "< 1", worst < bound});
}

} // namespace

void tagging(Report& report, int writes, int placements)
{
    std::printf("book write in realistic timing mode, %d writes per family (median of each)\n", writes);
    for (const Family& f : kFamilies)
        benchWrite(report, f, writes);
    std::printf("continuous reading, %u ms read session, %d placements per family\n", kPeriodMs, placements);
    for (const Family& f : kFamilies)
        benchReading(report, f, placements);
}

} // namespace bench
