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
// Usage (from build/bin, where Dalrix.so lies):
//   bench_tagging [--writes N] [--placements N] [FAMILY...]
// Families: feno, orba, talu, dalrix (default: all four).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "brenholt.h"
#include "platform/clock.h"
#include "platform/loop.h"
#include "sim/testing.h"

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

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A reader of the family served as COM3 and opened by the library.
struct Bench {
    sim::PortFolder ports;
    sim::ServedReader served;
    brnHandle handle = nullptr;

    bool open(const Family& f)
    {
        std::string error;
        served = sim::serveReader(f.sim, ports.portPath(kPort), 0, {}, &error);
        if (!served) {
            std::fprintf(stderr, "%s: %s\n", f.sim, error.c_str());
            return false;
        }
        std::int32_t family = 0;
        const std::int32_t code = f.firstMake ? brnOpenSerial(kPort, &handle, &family)
                                              : brnOpenSerialByType(kPort, "DL", &handle, &family);
        if (code != BRN_OK) {
            std::fprintf(stderr, "%s: open failed (%d)\n", f.sim, code);
            return false;
        }
        served.reader->setTiming(sim::Timing::Realistic);
        return true;
    }
    ~Bench()
    {
        if (handle)
            brnClose(handle);
    }
    sim::Reader& reader() { return *served.reader; }
};

bool benchWrite(const Family& f, int writes)
{
    Bench b;
    if (!b.open(f))
        return false;
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
        if (written != BRN_OK || verified != BRN_OK || back.itemId != item.itemId) {
            std::fprintf(stderr, "%s: write %d failed (%d, %d)\n", f.sim, i, written, verified);
            return false;
        }
        const sim::TimingReport report = b.reader().timingReport();
        measured.push_back(static_cast<double>(took) / 1000.0);
        modelled.push_back(static_cast<double>(report.modelledUs()) / 1000.0);
        ratios.push_back(static_cast<double>(took) / static_cast<double>(report.modelledUs()));
    }
    const double worst = *std::max_element(ratios.begin(), ratios.end());
    std::printf("  %-7s book write + verify  median %7.1f ms  wire+air %7.1f ms  ratio median %.3f  worst %.3f  %s\n",
                f.sim, median(measured), median(modelled), median(ratios), worst,
                median(ratios) <= 1.1 ? "(target 1.1: met)" : "(target 1.1: MISSED)");
    return true;
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

bool benchReading(const Family& f, int placements)
{
    Bench b;
    if (!b.open(f))
        return false;
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
        if (!loop.runUntil([&] { return latency.reports > before; }, 5000)) {
            std::fprintf(stderr, "%s: no report\n", f.sim);
            return false;
        }
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
            std::fprintf(stderr, "%s: placement %d not reported\n", f.sim, i);
            return false;
        }
        ms.push_back(static_cast<double>(latency.reportedUs - latency.placedUs) / 1000.0);
        b.reader().removeAll();
    }
    brnStopReadingItems(b.handle);
    const double worst = *std::max_element(ms.begin(), ms.end());
    const double bound = 2.0 * kPeriodMs + static_cast<double>(cycleUs) / 1000.0;
    std::printf("  %-7s tag to callback      median %7.1f ms  worst %7.1f ms  bound %6.1f ms "
                "(2 x %u ms + cycle %.1f ms)  %s\n",
                f.sim, median(ms), worst, bound, kPeriodMs, static_cast<double>(cycleUs) / 1000.0,
                worst < bound ? "(met)" : "(MISSED)");
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int writes = 20;
    int placements = 200;
    std::vector<const Family*> chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--writes" && i + 1 < argc) {
            writes = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--placements" && i + 1 < argc) {
            placements = std::max(1, std::atoi(argv[++i]));
        } else {
            const auto it = std::find_if(std::begin(kFamilies), std::end(kFamilies),
                                         [&](const Family& f) { return a == f.sim; });
            if (it == std::end(kFamilies)) {
                std::fprintf(stderr, "usage: bench_tagging [--writes N] [--placements N] [feno|orba|talu|dalrix...]\n");
                return 2;
            }
            chosen.push_back(&*it);
        }
    }
    if (chosen.empty())
        for (const Family& f : kFamilies)
            chosen.push_back(&f);

    bool ok = true;
    std::printf("book write in realistic timing mode, %d writes per family (median of each)\n", writes);
    for (const Family* f : chosen)
        ok = benchWrite(*f, writes) && ok;
    std::printf("continuous reading, %u ms read session, %d placements per family\n", kPeriodMs, placements);
    for (const Family* f : chosen)
        ok = benchReading(*f, placements) && ok;
    return ok ? 0 : 1;
}
