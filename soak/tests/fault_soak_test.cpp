// The fault soak: for a fixed number of cycles per reader family, the tag
// mapping library writes tags, reads single tags and reads continuously
// against a simulated reader on a pseudo-terminal, while the reader shows one
// fault per cycle: silence, a wrong CRC, noise before the answer, a cut
// answer frame, an error status, the tags leaving mid-command, or the line
// closing and coming back under the same COM name.
//
// After every call: its result is one the library documents. After every
// write: a write reported successful is exactly in the reader's tag memory,
// and a tag whose memory differs from the request was reported as failed.
// After continuous reading: every tag reported was reported as it is in tag
// memory, and every tag still on the antenna was reported (nothing lost once
// the fault has passed). After the run, with every handle closed: descriptors,
// threads and heap bytes are back where they were.
//
// TAGGING_SOAK_CYCLES sets the cycles per family (default kDefaultCycles),
// TAGGING_SOAK_SEED the random seed (printed by every run, to replay one).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "brenholt.h"
#include "platform/clock.h"
#include "platform/loop.h"
#include "process_resources.h"
#include "sim/testing.h"

namespace {

constexpr int kPort = 3;
constexpr int kDefaultCycles = 8;
constexpr std::uint64_t kCyclesPerSlowFault = 20;
// Every wait of the soak is bounded by this; a longer one is a hang.
constexpr int kReportWaitMs = 4000;
constexpr int kLineWaitMs = 3000;
// Heap bytes the simulator and the C++ runtime may keep beyond the starting
// level (capacity of buffers that grew under faults); a leak of a handle, a
// link or a record per cycle shows far above it.
constexpr std::int64_t kHeapSlackBytes = 16 * 1024;
// The second-make driver keeps, by design and across closes, a record of the
// last (up to 1000) frames it wrote and chunks it received, and receive and
// scan buffers of up to 40 KiB each: what it holds at the end depends on
// where in that record the run stops.
constexpr std::int64_t kDriverRecordBytes = 256 * 1024;

struct Family {
    const char* sim;
    std::int32_t number;
    bool firstMake;
    // An inventory finds every tag in the field; the second make's answers
    // with one tag only, so continuous reading on it sees one tag at a time.
    bool manyTagInventories;
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.sim; }

const Family kFamilies[] = {
    {"feno", BRN_FAMILY_FENO, true, true},
    {"orba", BRN_FAMILY_ORBA, true, true},
    {"talu", BRN_FAMILY_TALU, true, true},
    {"dalrix", BRN_FAMILY_DALRIX, false, false},
};

// ---- Documented results -------------------------------------------------

enum class Call { Open, Write, SingleRead };

// Results the second-make driver passes up: the reader's status bytes and the
// driver's own codes.
bool driverCode(std::int32_t code)
{
    static const std::set<std::int32_t> codes = {0x01, 0x0B, 0x0C, 0x0F, 0xFE, 0xFF, 0x30, 0x31, 0x32, 0x33};
    return codes.count(code) != 0;
}

bool documented(const Family& f, Call call, std::int32_t code)
{
    if (code == BRN_OK)
        return true;
    if (!f.firstMake) {
        switch (call) {
        case Call::Open: return code == BRN_ERR_PORT || code == BRN_ERR_VERSION || code == BRN_ERR_NO_READER;
        case Call::Write:
            return code == BRN_ERR_READER || code == BRN_ERR_HANDLE || code == BRN_ERR_PARAMETER ||
                   code == BRN_ERR_MANY_TAGS || code == BRN_ERR_NO_TAG || code == BRN_ERR_READ || driverCode(code);
        case Call::SingleRead:
            return code == BRN_ERR_READER || code == BRN_ERR_HANDLE || code == BRN_ERR_MANY_TAGS ||
                   code == BRN_ERR_NO_TAG || code == BRN_ERR_READ || driverCode(code);
        }
        return false;
    }
    // First make: the library's codes, and the command and transport
    // libraries' codes -1 to -9 passed on unchanged.
    const bool passedOn = code >= -9 && code <= -1;
    switch (call) {
    case Call::Open: return passedOn || code == BRN_ERR_MANY_TAGS || code == BRN_ERR_NO_TAG || code == BRN_ERR_READ;
    case Call::Write:
        return passedOn || code == BRN_ERR_PARAMETER || code == BRN_ERR_MANY_TAGS || code == BRN_ERR_NO_TAG ||
               code == BRN_ERR_READ;
    case Call::SingleRead:
        return passedOn || code == BRN_ERR_MANY_TAGS || code == BRN_ERR_NO_TAG || code == BRN_ERR_READ;
    }
    return false;
}

// ---- Tag memory -----------------------------------------------------------

// The part of a tag that the library's records cover.
struct Memory {
    std::array<std::uint32_t, BRN_ITEM_BLOCKS> blocks{};
    std::array<bool, BRN_ITEM_BLOCKS> locked{};
    std::uint8_t afi = 0;
    bool eas = false;
    bool easLocked = false;

    static Memory of(const sim::Tag& tag)
    {
        Memory m;
        for (int i = 0; i < BRN_ITEM_BLOCKS; ++i) {
            m.blocks[i] = tag.block(i);
            m.locked[i] = tag.blockLocked(i);
        }
        m.afi = tag.afi();
        m.eas = tag.eas();
        m.easLocked = tag.easLocked();
        return m;
    }
    bool operator==(const Memory&) const = default;

    std::string describe() const
    {
        std::ostringstream os;
        os << std::hex << "afi=" << int{afi} << " eas=" << eas << (easLocked ? "(locked)" : "") << " blocks";
        for (int i = 0; i < BRN_ITEM_BLOCKS; ++i)
            os << ' ' << blocks[i] << (locked[i] ? "L" : "");
        return os.str();
    }
};

// ---- Faults ---------------------------------------------------------------

enum class Injected { None, Silence, WrongCrc, Noise, CutShort, Status, TagsLeave, LineClose, Count };

const char* name(Injected f)
{
    static const char* const names[] = {"none", "silence", "crc", "noise", "cut", "status", "leave", "close"};
    return names[static_cast<int>(f)];
}

// Error statuses each make's readers really give (the first make: bit 7 set).
const std::uint8_t kFirstMakeErrors[] = {0x89, 0xC4, 0xC5, 0xCC, 0x81, 0x8F};
constexpr std::uint8_t kNoEasSupportStatus = 0xC4;
// A TALU reader answers the EAS check of a tag whose EAS bit is off with
// 0xC4 (the tag stays silent to the alarm), which reads as "EAS off": on a
// read, that status would be the truth as far as anyone can tell.
const std::uint8_t kFirstMakeReadErrors[] = {0x89, 0xC5, 0xCC, 0x81, 0x8F};
const std::uint8_t kSecondMakeErrors[] = {0x0B, 0x0C, 0x0F, 0xFE, 0xFF};
// A second-make reader tells a tag whose EAS bit is off by saying that no
// tag answered the alarm (or that it answered with an error); injected on
// the EAS query of a read, such a status would be the truth as far as anyone
// can tell. Reads get only the statuses that refuse the request.
const std::uint8_t kSecondMakeRefusals[] = {0xFE, 0xFF};

enum class Op { Write, SingleRead, Reading };

const char* name(Op op)
{
    switch (op) {
    case Op::Write: return "write";
    case Op::SingleRead: return "single read";
    case Op::Reading: return "continuous reading";
    }
    return "?";
}

// What continuous reading handed to the callback.
struct Reports {
    struct Report {
        sim::Uid uid{};
        brnRawItem item{};
    };
    std::vector<Report> newTags;
    std::vector<std::int32_t> badEvents;
    int readerGone = 0; // the line closed under continuous reading
};

void onRawUid(brnHandle, std::int32_t event, brnRawItem* item, std::uint8_t* uid, void* context)
{
    auto& reports = *static_cast<Reports*>(context);
    if (event == BRN_EVENT_READER_GONE && !item && !uid) {
        ++reports.readerGone;
        return;
    }
    if (event != BRN_EVENT_NEW_TAG || !item || !uid) {
        reports.badEvents.push_back(event);
        return;
    }
    Reports::Report r;
    std::copy_n(uid, 8, r.uid.begin());
    r.item = *item;
    reports.newTags.push_back(r);
}

std::string describeRecord(const brnRawItem& item)
{
    std::ostringstream os;
    os << std::hex << "valid=" << item.validMask << " locks=" << item.lockMask << " eas=" << item.easState
       << " blocks";
    for (std::uint32_t b : item.blocks)
        os << ' ' << b;
    return os.str();
}

std::string uidText(const sim::Uid& uid)
{
    char text[17];
    for (int i = 0; i < 8; ++i)
        std::snprintf(text + 2 * i, 3, "%02X", uid[i]);
    return text;
}

std::uint64_t envNumber(const char* name, std::uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    return std::strtoull(text, nullptr, 0);
}

class FaultSoak : public ::testing::TestWithParam<Family> {
protected:
    void SetUp() override
    {
        std::string error;
        served_ = sim::serveReader(family().sim, ports_.portPath(kPort), 0, {}, &error);
        ASSERT_TRUE(served_) << error;
    }
    void TearDown() override { closeReader(); }

    const Family& family() const { return GetParam(); }
    sim::Reader& reader() { return *served_.reader; }
    sim::Server& server() { return *served_.server; }

    // Opens the reader; bounded: the line may be closed for a while after a
    // LineClose fault. False when it does not open; failedOpens_ then holds
    // what each attempt gave and where the line was.
    bool openReader()
    {
        failedOpens_.clear();
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (!server().lineOpen() && !server().waitLineGeneration(server().lineGeneration() + 1, kLineWaitMs))
                ADD_FAILURE() << "the simulated line did not come back";
            std::int32_t number = 0;
            const std::int32_t code = family().firstMake ? brnOpenSerial(kPort, &handle_, &number)
                                                         : brnOpenSerialByType(kPort, "DL", &handle_, &number);
            EXPECT_TRUE(documented(family(), Call::Open, code)) << "open gave " << code;
            if (code == BRN_OK) {
                EXPECT_EQ(number, family().number);
                EXPECT_NE(handle_, nullptr);
                generation_ = server().lineGeneration();
                return true;
            }
            failedOpens_ += " " + std::to_string(code);
            failedOpens_ += server().lineOpen() ? " on " + server().devicePath() : std::string(" (line closed)");
            handle_ = nullptr;
        }
        return false;
    }

    void closeReader()
    {
        if (handle_) {
            EXPECT_EQ(brnClose(handle_), BRN_OK);
        }
        handle_ = nullptr;
    }

    // A tag from a small pool of UIDs (the reader keeps a copy of every tag
    // taken off its antenna), with random memory.
    static constexpr int kUidPool = 24;
    static sim::Uid poolUid(int n) { return {0xE0, 0x04, 0x01, 0x00, 0x50, 0x0A, 0x4B, static_cast<std::uint8_t>(n)}; }
    sim::Tag freshTag()
    {
        sim::Tag tag(poolUid(static_cast<int>(random_() % kUidPool)));
        for (int i = 0; i < BRN_ITEM_BLOCKS; ++i)
            tag.setBlock(i, static_cast<std::uint32_t>(random_()));
        tag.setAfi(static_cast<std::uint8_t>(random_()));
        tag.setEas(random_() % 2);
        return tag;
    }

    void layTags(int count, std::vector<sim::Uid>& uids)
    {
        reader().removeAll();
        while (static_cast<int>(uids.size()) < count) {
            sim::Tag tag = freshTag();
            if (reader().place(tag))
                uids.push_back(tag.uid());
        }
    }

    Injected pickFault()
    {
        // A third of the cycles run clean, the rest show one fault each.
        if (random_() % 3 == 0)
            return Injected::None;
        return static_cast<Injected>(1 + random_() % (static_cast<int>(Injected::Count) - 1));
    }

    // Arms the fault for one command, after letting up to maxSkip commands pass.
    void arm(Injected kind, int maxSkip, bool reading)
    {
        const int skip = static_cast<int>(random_() % static_cast<unsigned>(maxSkip + 1));
        sim::Fault f;
        switch (kind) {
        case Injected::None: return;
        case Injected::Silence: f = sim::Fault::silence(); break;
        case Injected::WrongCrc: f = sim::Fault::wrongCrc(); break;
        case Injected::Noise: f = sim::Fault::noiseBytes({}); break;
        case Injected::CutShort: f = sim::Fault::cutShort(); break;
        case Injected::Status: {
            if (family().firstMake && reading)
                f = sim::Fault::statusByte(kFirstMakeReadErrors[random_() % std::size(kFirstMakeReadErrors)]);
            else if (family().firstMake)
                f = sim::Fault::statusByte(kFirstMakeErrors[random_() % std::size(kFirstMakeErrors)]);
            else if (reading)
                f = sim::Fault::statusByte(kSecondMakeRefusals[random_() % std::size(kSecondMakeRefusals)]);
            else
                f = sim::Fault::statusByte(kSecondMakeErrors[random_() % std::size(kSecondMakeErrors)]);
            break;
        }
        case Injected::TagsLeave: f = sim::Fault::tagsLeave(); break;
        case Injected::LineClose: f = sim::Fault::lineClose(static_cast<int>(random_() % 120)); break;
        case Injected::Count: return;
        }
        armedStatus_ = kind == Injected::Status ? f.status : 0;
        reader().addFault(f.after(skip));
    }

    // ---- The three operations ----

    void writeCycle(Injected fault)
    {
        std::vector<sim::Uid> uids;
        layTags(1, uids);
        const sim::Uid uid = uids[0];
        const Memory before = Memory::of(*reader().tag(uid));

        brnRawItem raw{};
        raw.blockSize = BRN_BLOCK_SIZE;
        raw.validMask = static_cast<std::uint32_t>(random_()) & BRN_RAW_REQUEST_LIMIT;
        if (!(raw.validMask & BRN_RAW_ALL_BLOCKS))
            raw.validMask |= BRN_RAW_BLOCK(random_() % BRN_ITEM_BLOCKS);
        if (random_() % 3 != 0)
            raw.validMask &= ~BRN_RAW_LOCKS; // most writes lock nothing
        raw.lockMask = static_cast<std::uint32_t>(random_()) & (BRN_RAW_LOCK_EAS | BRN_RAW_ALL_BLOCKS);
        raw.easState = static_cast<std::int32_t>(random_() % 2);
        for (std::uint32_t& b : raw.blocks)
            b = static_cast<std::uint32_t>(random_());
        const bool writeAfi = random_() % 2;
        const auto afi = static_cast<std::uint8_t>(random_());
        const bool addressed = random_() % 2;

        // What a complete write leaves in tag memory.
        Memory expected = before;
        if (writeAfi)
            expected.afi = afi;
        if (raw.validMask & BRN_RAW_EAS)
            expected.eas = raw.easState == 1;
        for (int i = 0; i < BRN_ITEM_BLOCKS; ++i)
            if (raw.validMask & BRN_RAW_BLOCK(i))
                expected.blocks[i] = raw.blocks[i];
        if (raw.validMask & BRN_RAW_LOCKS) {
            const bool talu = family().number == BRN_FAMILY_TALU;
            for (int i = talu ? 1 : 0; i < BRN_ITEM_BLOCKS; ++i)
                if (raw.lockMask & BRN_RAW_LOCK_BLOCK(i))
                    expected.locked[i] = true;
            if (talu && (raw.lockMask & BRN_RAW_LOCK_EAS))
                expected.easLocked = true;
        }

        arm(fault, 6, false);
        const std::int32_t code = brnWriteRawItems(handle_, addressed ? BRN_ADDRESS_UID : BRN_ADDRESS_ANY,
                                                   addressed ? uid.data() : nullptr, &raw, writeAfi ? 1 : 0, afi);
        reader().clearFaults();
        tally(Op::Write, fault, code);
        EXPECT_TRUE(documented(family(), Call::Write, code)) << "write gave " << code;

        const std::optional<sim::Tag> tag = reader().tag(uid);
        ASSERT_TRUE(tag);
        const Memory after = Memory::of(*tag);
        // A first-make reader answers an EAS write with status 0xC4 when the
        // tag has no EAS support; such a write goes on and succeeds without
        // the bit. Injected on the EAS step, that status is the same answer.
        if (family().firstMake && armedStatus_ == kNoEasSupportStatus) {
            if (after.eas == before.eas)
                expected.eas = before.eas;
            if (after.easLocked == before.easLocked)
                expected.easLocked = before.easLocked;
        }
        // A write reported successful is exactly in tag memory; put the other
        // way: a tag left otherwise than asked was reported as failed. A
        // failed write may have left the tag complete (an answer lost after
        // the last step), or partly written.
        if (code == BRN_OK) {
            EXPECT_EQ(after, expected) << "a write reported successful is not in tag memory (fault " << name(fault)
                                       << ", mask " << std::hex << raw.validMask << " locks " << raw.lockMask
                                       << ")\n  expected " << expected.describe() << "\n  found    "
                                       << after.describe();
        }
        if (code != BRN_OK && after == expected)
            ++failedButComplete_;
    }

    void singleReadCycle(Injected fault)
    {
        std::vector<sim::Uid> uids;
        layTags(random_() % 5 == 0 ? 2 : 1, uids);
        brnRawItem item{};
        item.blockSize = BRN_BLOCK_SIZE;
        arm(fault, 4, true);
        const std::int32_t code =
            brnReadSingleRawItem(handle_, 5, BRN_RAW_EAS | BRN_RAW_LOCKS | BRN_RAW_ALL_BLOCKS, &item);
        reader().clearFaults();
        tally(Op::SingleRead, fault, code);
        EXPECT_TRUE(documented(family(), Call::SingleRead, code)) << "single read gave " << code;
        if (code != BRN_OK)
            return;
        // The record is that of one of the tags, as it is in memory.
        bool matches = false;
        for (const sim::Uid& uid : uids)
            matches = matches || recordMatches(item, Memory::of(*reader().tag(uid)));
        EXPECT_TRUE(matches) << "a single read reported a record no tag holds (fault " << name(fault) << " "
                             << std::hex << int{armedStatus_} << ")\n  read "
                             << describeRecord(item) << "\n  memory " << Memory::of(*reader().tag(uids[0])).describe();
    }

    void readingCycle(Injected fault)
    {
        std::vector<sim::Uid> uids;
        layTags(family().manyTagInventories ? 1 + static_cast<int>(random_() % 3) : 1, uids);
        platform::MessageLoop& loop = platform::MessageLoop::current();
        EXPECT_EQ(brnSetReadSessionDuration(handle_, 0, 20 + random_() % 40), BRN_OK);
        Reports reports;
        const std::uint32_t mask = BRN_RAW_EAS | BRN_RAW_LOCKS | BRN_RAW_ALL_BLOCKS;
        ASSERT_EQ(brnStartReadingRawUIDs(handle_, mask, onRawUid, &reports), BRN_OK);
        arm(fault, 8, true);
        const auto reported = [&](const sim::Uid& uid) {
            return std::any_of(reports.newTags.begin(), reports.newTags.end(),
                               [&](const Reports::Report& r) { return r.uid == uid; });
        };
        const auto allReported = [&] {
            if (linkGone())
                return true; // the line closed under the link: nothing more will come
            if (!reader().faults().empty())
                return false; // the fault has not struck yet
            const std::vector<sim::Tag> onAntenna = reader().tags();
            return std::all_of(onAntenna.begin(), onAntenna.end(),
                               [&](const sim::Tag& t) { return reported(t.uid()); });
        };
        const bool complete = loop.runUntil(allReported, kReportWaitMs);
        const bool lineLost = linkGone();
        EXPECT_EQ(brnStopReadingRawItems(handle_), BRN_OK);
        reader().clearFaults();
        tally(Op::Reading, fault, complete ? 0 : 1);
        if (!lineLost) {
            EXPECT_TRUE(complete) << "a tag on the antenna was not reported within " << kReportWaitMs
                                  << " ms (fault " << name(fault) << ")";
        }
        EXPECT_TRUE(reports.badEvents.empty()) << "unexpected events";
        EXPECT_LE(reports.readerGone, lineLost ? 1 : 0) << "the reader's going told once, and only when it went";
        std::set<sim::Uid> seen;
        for (const Reports::Report& r : reports.newTags) {
            EXPECT_TRUE(std::find(uids.begin(), uids.end(), r.uid) != uids.end())
                << "reported a tag never laid: " << uidText(r.uid);
            EXPECT_TRUE(seen.insert(r.uid).second) << "reported twice: " << uidText(r.uid);
            const std::optional<sim::Tag> tag = reader().tag(r.uid);
            if (tag) {
                EXPECT_TRUE(recordMatches(r.item, Memory::of(*tag)))
                    << "reported " << uidText(r.uid) << " otherwise than it is (fault " << name(fault) << ")\n  reported "
                    << describeRecord(r.item) << "\n  memory   " << Memory::of(*tag).describe();
            }
        }
    }

    // The parts of a read record that it says it holds equal tag memory.
    static bool recordMatches(const brnRawItem& item, const Memory& m)
    {
        for (int i = 0; i < BRN_ITEM_BLOCKS; ++i) {
            if ((item.validMask & BRN_RAW_BLOCK(i)) && item.blocks[i] != m.blocks[i])
                return false;
            if ((item.validMask & BRN_RAW_LOCKS) && ((item.lockMask & BRN_RAW_LOCK_BLOCK(i)) != 0) != m.locked[i])
                return false;
        }
        return !(item.validMask & BRN_RAW_EAS) || (item.easState == 1) == m.eas;
    }

    void tally(Op op, Injected fault, std::int32_t code)
    {
        const std::uint64_t now = platform::monotonicMs();
        spentMs_[std::string(name(op)) + " / " + name(fault)] += now - lastMs_;
        lastMs_ = now;
        ++outcomes_[std::string(name(op)) + " / " + name(fault) + (code == 0 ? " / ok" : " / failed")];
    }

    // One cycle: a session of the library on the reader (open, a few
    // operations, close), so that opens and closes are soaked too. First-make
    // writes raise the link's answer time-out to 6 s for the rest of the
    // session; reads come first in a session so that their faults cost the
    // short time-out.
    void session()
    {
        lastMs_ = platform::monotonicMs();
        if (!openReader()) {
            ADD_FAILURE() << "the reader did not open:" << failedOpens_;
            return;
        }
        spentMs_["open"] += platform::monotonicMs() - lastMs_;
        lastMs_ = platform::monotonicMs();
        const int reads = static_cast<int>(random_() % 3);
        const int writes = 1 + static_cast<int>(random_() % 3);
        for (int i = 0; i < reads + writes && !linkGone(); ++i) {
            const Injected fault = i < reads || !family().firstMake ? pickFault() : pickWriteFault();
            if (i >= reads)
                writeCycle(fault);
            else if (random_() % 2)
                readingCycle(fault);
            else
                singleReadCycle(fault);
            ++operations_;
        }
        lastMs_ = platform::monotonicMs();
        closeReader();
        spentMs_["close"] += platform::monotonicMs() - lastMs_;
    }

    // Faults for first-make writes: silence and cut frames cost the whole 6 s
    // answer time-out of a write there, so a run has one of them per
    // kCyclesPerSlowFault cycles (none in a short run; the second make has
    // them in every run). The line closing ends a write at once.
    Injected pickWriteFault()
    {
        for (;;) {
            const Injected f = pickFault();
            const bool slow = f == Injected::Silence || f == Injected::CutShort;
            if (!slow)
                return f;
            if (slowFaultsLeft_ > 0) {
                --slowFaultsLeft_;
                return f;
            }
        }
    }

    bool linkGone() const { return !served_.server->lineOpen() || served_.server->lineGeneration() != generation_; }

    sim::PortFolder ports_;
    sim::ServedReader served_;
    brnHandle handle_ = nullptr;
    std::uint64_t generation_ = 0;
    std::string failedOpens_;
    std::mt19937_64 random_;
    std::map<std::string, int> outcomes_;
    std::map<std::string, std::uint64_t> spentMs_;
    std::uint64_t lastMs_ = 0;
    int operations_ = 0;
    std::uint8_t armedStatus_ = 0;
    std::uint64_t slowFaultsLeft_ = 0;
    int failedButComplete_ = 0;
};

TEST_P(FaultSoak, NothingLostMisreportedOrLeaked)
{
    const std::uint64_t cycles = envNumber("TAGGING_SOAK_CYCLES", kDefaultCycles);
    const std::uint64_t seed = envNumber("TAGGING_SOAK_SEED", std::random_device{}());
    std::printf("%s: %" PRIu64 " cycles, TAGGING_SOAK_SEED=%" PRIu64 "\n", family().sim, cycles, seed);
    std::fflush(stdout);
    RecordProperty("seed", std::to_string(seed));
    random_.seed(seed);
    slowFaultsLeft_ = cycles / kCyclesPerSlowFault;

    lastMs_ = platform::monotonicMs();
    // A first round without faults: the driver gets loaded, this thread's
    // message loop made, the library's buffers allocated.
    ASSERT_TRUE(openReader());
    readingCycle(Injected::None);
    writeCycle(Injected::None);
    singleReadCycle(Injected::None);
    closeReader();
    // Every tag of the pool on the reader's shelf, as at the end.
    for (int n = 0; n < kUidPool; ++n)
        reader().place(sim::Tag(poolUid(n)));
    reader().removeAll();
    const soak::ProcessResources start = soak::currentResources();

    spentMs_.clear();
    const std::uint64_t t0 = platform::monotonicMs();
    for (std::uint64_t c = 0; c < cycles && !HasFatalFailure(); ++c) {
        SCOPED_TRACE("cycle " + std::to_string(c) + " of seed " + std::to_string(seed));
        session();
    }
    closeReader();
    reader().removeAll();
    // The simulated line as at the start (a last LineClose fault may keep it closed a while).
    if (!server().lineOpen()) {
        EXPECT_TRUE(server().waitLineGeneration(server().lineGeneration() + 1, kLineWaitMs));
    }
    const soak::ProcessResources end = soak::currentResources();
    std::printf("%s: %d operations in %.1f s; %d failed writes left the tag complete\n", family().sim,
                operations_, static_cast<double>(platform::monotonicMs() - t0) / 1000.0, failedButComplete_);
    for (const auto& [what, n] : outcomes_)
        std::printf("  %-40s %d\n", what.c_str(), n);
    for (const auto& [what, ms] : spentMs_)
        std::printf("  %-40s %6.1f s\n", what.c_str(), static_cast<double>(ms) / 1000.0);
    std::printf("  resources before: %s\n  resources after:  %s\n", start.describe().c_str(), end.describe().c_str());

    EXPECT_EQ(end.descriptors, start.descriptors) << "descriptors leaked";
    EXPECT_EQ(end.threads, start.threads) << "threads left running";
    const std::int64_t slack = kHeapSlackBytes + (family().firstMake ? 0 : kDriverRecordBytes);
    EXPECT_LE(end.heapBytes - start.heapBytes, slack) << "heap grew";
}

INSTANTIATE_TEST_SUITE_P(Families, FaultSoak, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.sim); });

} // namespace
