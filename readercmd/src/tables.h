// The one command engine of the reader families: the FENO, ORBA and TALU
// ISO 15693 commands and the further command tables (reader set-up,
// continuous reading, wedge and standalone output, I/O, clock, buzzer, other
// chip types, gate settings). Each exported command is one row of its
// family's table written over these helpers:
//
//   Request   the request data, built front to back
//   status    the answer is the reader status byte alone
//   raw       answer length and the whole answer data to the caller
//   get       outputs read from the answer by a Fields filler, under a Fill rule
//             (getPlain: from a plain answer alone)
//   entries   the answer cut into 256-byte entry slots by an entry rule
//   records   the tag records of an answer (ISO carriers, inventories) in the
//             caller's slots, under the family's RecordRule
//   response  one tag's answer: its record alone, under the family's RecordRule
//
// Every command checks its handle first (a non-zero check is returned and
// nothing is sent), then either refuses arguments that cannot make a request
// (QVL_STATUS_BAD_ARGUMENT stored, nothing sent, 0 returned) or runs one
// command exchange. On a non-zero exchange code no output is written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

#include "exchange.h"
#include "iso15693.h"

namespace quorvel::tables {

// The most answer bytes handed to a caller: a plain answer has at most 254; an
// answer announced as a block list is handed over as its first 255 bytes.
inline constexpr std::size_t kMaxAnswerBytes = 255;
// A returned text: at most this many characters, then the zero byte.
inline constexpr std::size_t kMaxText = 254;
// Entry slots, as for the FENO inventory.
inline constexpr std::size_t kEntrySize = 256;
inline constexpr std::size_t kMaxEntries = 43;
// The slots that chip answers are cut into (ORBA).
inline constexpr std::size_t kSlotSize = 64;

// The request data of one command, at most one frame's 255 bytes. Bytes that
// would not fit, bytes to be read from a NULL pointer, or an argument
// declared invalid make it unusable: the command is then refused, and
// nothing more is read into it.
class Request {
public:
    // One byte: the low 8 bits.
    Request& byte(std::int32_t value);
    // A flag or boolean: 1 when non-zero, else 0.
    Request& flag(std::int32_t value) { return byte(value != 0 ? 1 : 0); }
    // A 16-bit value, high byte first.
    Request& word(std::uint32_t value) { return byte(static_cast<std::int32_t>(value >> 8 & 0xFF)).byte(value & 0xFF); }
    // count bytes as given.
    Request& bytes(const std::uint8_t* data, std::size_t count);
    // A caller's count of bytes; a negative count is invalid.
    Request& counted(const std::uint8_t* data, std::int32_t count)
    {
        return count < 0 ? require(false) : bytes(data, static_cast<std::size_t>(count));
    }
    // count 16-bit values, each high byte first; a negative count is invalid.
    Request& words(const std::uint16_t* values, std::int32_t count);
    // A text's characters without its terminating zero byte.
    Request& text(const char* text);
    // A value that is sent only when it is not -1.
    Request& optional(std::int32_t value) { return value == -1 ? *this : byte(value); }
    Request& byteIf(bool condition, std::int32_t value) { return condition ? byte(value) : *this; }
    Request& bytesIf(bool condition, const std::uint8_t* data, std::size_t count)
    {
        return condition ? bytes(data, count) : *this;
    }
    // count bytes given most significant first, sent the other way round
    // (least significant first, as on the air); a negative count is invalid.
    Request& reversed(const std::uint8_t* data, std::int32_t count);
    // Another request's bytes, and its validity.
    Request& then(const Request& other);
    // Arguments that the command refuses.
    Request& require(bool valid)
    {
        usable_ = usable_ && valid;
        return *this;
    }

    bool usable() const { return usable_; }
    std::span<const std::uint8_t> data() const { return {bytes_.data(), size_}; }

private:
    std::array<std::uint8_t, 255> bytes_{};
    std::size_t size_ = 0;
    bool usable_ = true;
};

// The data of an answer as a getter reads it. Each output is taken from its
// data bytes when the answer has at least `need` bytes (by default: up to its
// last byte). An output the answer does not reach is set to 0, or with
// Missing::Keep left as it was.
class Fields {
public:
    enum class Missing { Zero, Keep };

    Fields(std::span<const std::uint8_t> data, Missing missing) : data_(data), missing_(missing) {}

    std::size_t size() const { return data_.size(); }
    bool has(std::size_t need) const { return data_.size() >= need; }
    std::span<const std::uint8_t> data() const { return data_; }

    // data[at].
    void byte(std::uint8_t* out, std::size_t at, std::size_t need = 0) const;
    // data[at], data[at + 1], high byte first.
    void word(std::uint16_t* out, std::size_t at, std::size_t need = 0) const;
    // 1 when data[at] is non-zero.
    void flag(std::int32_t* out, std::size_t at, std::size_t need = 0) const;
    // 1 when data[at] has any bit of mask set.
    void bit(std::int32_t* out, std::size_t at, std::uint8_t mask, std::size_t need = 0) const;
    // count bytes from data[at].
    void bytes(std::uint8_t* out, std::size_t at, std::size_t count, std::size_t need = 0) const;
    // The bytes from data[at] to the end, zero-terminated (at most kMaxText
    // characters; missing: the empty text).
    void text(char* out, std::size_t at) const;
    // The bytes from data[at] to the end (at most `capacity`) and their number;
    // nothing (and a count of 0) when the answer ends before data[at].
    void tail(std::uint8_t* out, std::uint8_t* count, std::size_t at, std::size_t capacity = kMaxAnswerBytes) const;
    // The whole answer data, copied only when there is any (a buffer without
    // length output must hold kMaxAnswerBytes).
    void all(std::uint8_t* out) const;
    // Consecutive pieces of `piece` bytes from data[at], each into the next
    // kSlotSize-byte slot with the rest of the slot cleared; only whole pieces,
    // at most `slots` of them. Returns the number of slots filled.
    std::size_t pieces(std::uint8_t* out, std::size_t at, std::size_t piece, std::size_t slots) const;

    template <typename T>
    static void put(T* out, T value)
    {
        if (out)
            *out = value;
    }

private:
    template <typename T>
    void store(T* out, bool present, T value) const
    {
        if (present)
            put(out, value);
        else if (missing_ == Missing::Zero)
            put(out, T{});
    }

    std::span<const std::uint8_t> data_;
    Missing missing_;
};

// A reference to a caller's function object (a lambda that lives for the
// call). Unlike std::function it never allocates, so a table row has nothing
// that can throw besides the guarded exchange.
template <class Signature>
class CallRef;

template <class... Args>
class CallRef<void(Args...)> {
public:
    template <class F>
        requires(std::is_invocable_v<const F&, Args...> && !std::is_same_v<std::remove_cvref_t<F>, CallRef>)
    CallRef(const F& f) // implicit: the rows pass their lambdas as they are
        : object_(&f), call_([](const void* object, Args... args) { (*static_cast<const F*>(object))(args...); })
    {
    }
    void operator()(Args... args) const { call_(object_, args...); }

private:
    const void* object_;
    void (*call_)(const void*, Args...);
};

// What a getter reads from its answer.
using Filler = CallRef<void(const Fields&)>;

// How a getter's outputs follow the status byte.
enum class Fill {
    Cleared,      // outputs cleared, then filled as far as the answer reaches, whatever the status
    ClearedIfOk,  // outputs cleared, then filled only when bit 7 of the status byte is clear
    KeptUnlessOk, // outputs filled only when bit 7 is clear and the answer reaches them, else untouched
};

// Entry lengths of the answers cut into entries (d1: the entry's second byte).
enum class EntryRule {
    A, // d1 + 6 (ISO 15693 inventories)
    B, // d1 + 6 when bit 6 of the first byte is set, else 2 * d1 + 6
    C, // 2 * d1 + 6
};

// The outcome of running a table row's command.
struct Outcome {
    std::int32_t code = 0;  // what the command returns
    bool answered = false;  // the answer holds the reader's answer (and its status was stored)
};

// Handle check, refusal of an unusable request, or one exchange; the status
// byte of an answer is not stored yet.
Outcome send(std::int32_t handle, std::uint8_t command, const Request& request, Answer& answer, std::uint8_t* status);
// send, and on an answer the status byte stored.
Outcome run(std::int32_t handle, std::uint8_t command, const Request& request, Answer& answer, std::uint8_t* status);

// The answer data a caller sees: at most kMaxAnswerBytes.
std::span<const std::uint8_t> answerBytes(const Answer& answer);

// Copies bytes into slot `index` of an array of slotSize-byte slots: at most
// slotSize of them, the rest of the slot cleared.
void toSlot(std::uint8_t* slots, std::size_t slotSize, std::size_t index, std::span<const std::uint8_t> bytes);

// The records of an answer: a plain answer is one record, a block list one
// per block (walked within listArea bytes). take(i, record) for at most max of
// them; returns their number, or LVRM_ERR_WRONG_BLOCK_FORMAT for a malformed
// list (nothing taken).
using RecordTaker = CallRef<void(std::size_t index, std::span<const std::uint8_t> record)>;
std::int32_t eachRecord(const Answer& answer, std::int32_t listArea, std::size_t max, RecordTaker take);

std::int32_t status(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* status);
std::int32_t raw(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* length,
                 std::uint8_t* data, std::uint8_t* status);
std::int32_t get(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* status, Fill rule,
                 Filler fill);
// get from the plain data of an answer alone: a block list reads as no data.
std::int32_t getPlain(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* status,
                      Fill rule, Filler fill);
std::int32_t entries(std::int32_t handle, std::uint8_t command, const Request& request, EntryRule rule,
                     std::int32_t* count, std::uint8_t* slots, std::uint8_t* status);

// A setting the library keeps for the link, nothing sent: the handle check's
// code, or 0 once keep(the link's settings) has run.
template <typename Keep>
std::int32_t keptSetting(std::int32_t handle, Keep keep)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    LinkSettings* link = linkSettings(handle);
    if (!link)
        return LVRM_ERR_INVALID_HANDLE;
    keep(*link);
    return 0;
}

// --- Tag records: the answers of the ISO carriers and inventories ---------------------------------------------

// What a record leaves of its slot.
enum class SlotRest {
    Untouched, // the record's bytes alone; a plain answer goes whole from slot 0 on (into the next slots)
    Cleared,   // every record cut to its slot, the rest of the slot cleared
};
// What comes first after the exchange.
enum class RecordOrder {
    ListFirst,   // the list is checked: a malformed one stores nothing, not even the status; then records
                 // are taken whatever the status
    StatusFirst, // the status is stored; records only when bit 7 is clear (a malformed list: -7 after it)
};
// How a family hands the records of its answers to the caller.
struct RecordRule {
    std::int32_t listArea; // a block list is walked within this many bytes (the reader's answer buffer)
    std::size_t slotSize;  // record i goes to slot i of this many bytes, cut to it
    SlotRest rest;
    RecordOrder order;
};
//                                       list  slot                   rest                 order
inline constexpr RecordRule kOrbaRecords{1024, ORBA_RECORD_SLOT_SIZE, SlotRest::Untouched, RecordOrder::ListFirst};
inline constexpr RecordRule kTaluRecords{2048, TALU_RECORD_SIZE,      SlotRest::Cleared,   RecordOrder::StatusFirst};
inline constexpr RecordRule kTaluAnswer{ 2048, TALU_ANSWER_SIZE,      SlotRest::Untouched, RecordOrder::StatusFirst};

// The caller's outputs of a command with many records.
struct RecordSlots {
    std::uint8_t* count;   // how many records were taken
    std::uint8_t* lengths; // the length of each as kept in its slot (or null)
    std::uint8_t* slots;   // max slots of the rule's size
    std::size_t max;
};
std::int32_t records(std::int32_t handle, std::uint8_t command, const Request& request, const RecordRule& rule,
                     const RecordSlots& out, std::uint8_t* status);
// One tag's answer: record 0 (the plain answer, or the first block of a list)
// into data and its length to *length (0 when the list is empty), only when
// bit 7 of the status byte is clear.
std::int32_t response(std::int32_t handle, std::uint8_t command, const Request& request, const RecordRule& rule,
                      std::uint8_t* length, std::uint8_t* data, std::uint8_t* status);

// --- ISO 15693 requests, as the ISO carriers of ORBA and TALU take them --------------------------------------

namespace iso {
// The request flag of an addressing mode: 1 the selected tag, 2 the tag whose
// UID follows, any other mode neither.
std::uint8_t modeFlag(std::int32_t mode);
// [flags][code][manufacturer code of a custom command][the UID reversed when
// the flags hold the address flag; without a UID the request is unusable].
Request& header(Request& r, std::uint8_t flags, std::uint8_t code, bool custom, const std::uint8_t* uid);
// [mask length in bits][(bits - 1) / 8 + 1 mask bytes reversed, none for 0].
Request& mask(Request& r, std::uint8_t bits, const std::uint8_t* mask);
} // namespace iso

// Settings addressed by a one-byte parameter identifier (FENO wedge, ORBA and
// TALU standalone output): [identifier][value...] to set, [identifier] to read.
struct ParameterCommands {
    std::uint8_t set;
    std::uint8_t read;
    Fill rule; // of the reading getters
};
std::int32_t setText(std::int32_t handle, const ParameterCommands& c, std::uint8_t id, const char* text,
                     std::uint8_t* status);
std::int32_t getText(std::int32_t handle, const ParameterCommands& c, std::uint8_t id, char* text,
                     std::uint8_t* status);
// A fixed number of bytes as the value.
std::int32_t setBytes(std::int32_t handle, const ParameterCommands& c, std::uint8_t id, const std::uint8_t* value,
                      std::size_t count, std::uint8_t* status);
std::int32_t getBytes(std::int32_t handle, const ParameterCommands& c, std::uint8_t id, std::uint8_t* value,
                      std::size_t count, std::uint8_t* status);

// The common request layouts of chip commands.
namespace layout {
// CHJ page writes: [first page] then each 16-bit item high byte first.
Request pages(std::int32_t firstPage, std::int32_t itemCount, const std::uint16_t* items);
// CHJ NSNT read: [0x80 when the flag is non-zero, else 0x00].
Request highBit(std::int32_t flag);
} // namespace layout

// CHJ NSNT answers: only when the answer has more than 33 bytes, the flag is
// bit 0 of data 0 and the 16 values come from data 2..33, high byte first.
void readNsnt(const Fields& f, std::int32_t* flag, std::uint16_t* values);

} // namespace quorvel::tables
