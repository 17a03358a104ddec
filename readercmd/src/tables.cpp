#include "tables.h"

#include <algorithm>
#include <cstring>

namespace quorvel::tables {

Request& Request::byte(std::int32_t value)
{
    if (size_ == bytes_.size())
        usable_ = false;
    else
        bytes_[size_++] = static_cast<std::uint8_t>(value & 0xFF);
    return *this;
}

Request& Request::bytes(const std::uint8_t* data, std::size_t count)
{
    if (count == 0 || !usable_)
        return *this;
    if (!data || count > bytes_.size() - size_) {
        usable_ = false;
        return *this;
    }
    std::memcpy(bytes_.data() + size_, data, count);
    size_ += count;
    return *this;
}

Request& Request::words(const std::uint16_t* values, std::int32_t count)
{
    if (count < 0 || (count > 0 && !values))
        return require(false);
    for (std::int32_t i = 0; i < count && usable_; ++i)
        word(values[i]);
    return *this;
}

Request& Request::text(const char* text)
{
    if (!text)
        return require(false);
    return bytes(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

Request& Request::reversed(const std::uint8_t* data, std::int32_t count)
{
    if (!usable_)
        return *this;
    if (count < 0 || (count > 0 && !data) || static_cast<std::size_t>(count) > bytes_.size() - size_)
        return require(false);
    for (std::int32_t i = count; i > 0; --i)
        bytes_[size_++] = data[i - 1];
    return *this;
}

Request& Request::then(const Request& other)
{
    return bytes(other.data().data(), other.data().size()).require(other.usable());
}

void Fields::byte(std::uint8_t* out, std::size_t at, std::size_t need) const
{
    const bool present = has(std::max(need, at + 1));
    store(out, present, present ? data_[at] : std::uint8_t{0});
}

void Fields::word(std::uint16_t* out, std::size_t at, std::size_t need) const
{
    const bool present = has(std::max(need, at + 2));
    store(out, present, present ? static_cast<std::uint16_t>(data_[at] << 8 | data_[at + 1]) : std::uint16_t{0});
}

void Fields::flag(std::int32_t* out, std::size_t at, std::size_t need) const
{
    bit(out, at, 0xFF, need);
}

void Fields::bit(std::int32_t* out, std::size_t at, std::uint8_t mask, std::size_t need) const
{
    const bool present = has(std::max(need, at + 1));
    store(out, present, present && (data_[at] & mask) ? std::int32_t{1} : std::int32_t{0});
}

void Fields::bytes(std::uint8_t* out, std::size_t at, std::size_t count, std::size_t need) const
{
    if (!out || count == 0)
        return;
    if (has(std::max(need, at + count)))
        std::memcpy(out, data_.data() + at, count);
    else if (missing_ == Missing::Zero)
        std::memset(out, 0, count);
}

void Fields::text(char* out, std::size_t at) const
{
    if (!out || (!has(at) && missing_ == Missing::Keep))
        return;
    const std::size_t n = has(at) ? std::min(data_.size() - at, kMaxText) : 0;
    if (n > 0)
        std::memcpy(out, data_.data() + at, n);
    out[n] = '\0';
}

void Fields::tail(std::uint8_t* out, std::uint8_t* count, std::size_t at, std::size_t capacity) const
{
    if (!has(at + 1)) {
        store(count, false, std::uint8_t{0});
        return;
    }
    const std::size_t n = std::min(data_.size() - at, capacity);
    if (out)
        std::memcpy(out, data_.data() + at, n);
    put(count, static_cast<std::uint8_t>(n));
}

void Fields::all(std::uint8_t* out) const
{
    if (out && !data_.empty())
        std::memcpy(out, data_.data(), data_.size());
}

std::size_t Fields::pieces(std::uint8_t* out, std::size_t at, std::size_t piece, std::size_t slots) const
{
    std::size_t filled = 0;
    for (std::size_t from = at; filled < slots && has(from + piece); from += piece, ++filled)
        toSlot(out, kSlotSize, filled, data_.subspan(from, piece));
    return filled;
}

std::span<const std::uint8_t> answerBytes(const Answer& answer)
{
    return {answer.data.data(), std::min<std::size_t>(answer.length, kMaxAnswerBytes)};
}

void toSlot(std::uint8_t* slots, std::size_t slotSize, std::size_t index, std::span<const std::uint8_t> bytes)
{
    if (!slots)
        return;
    std::uint8_t* slot = slots + index * slotSize;
    const std::size_t n = std::min(bytes.size(), slotSize);
    if (n > 0)
        std::memcpy(slot, bytes.data(), n);
    std::memset(slot + n, 0, slotSize - n);
}

std::int32_t eachRecord(const Answer& answer, std::int32_t listArea, std::size_t max, RecordTaker take)
{
    if (!answer.isBlockList()) {
        take(0, answer.bytes());
        return 1;
    }
    const std::int32_t blocks = answer.blockCount(listArea);
    if (blocks < 0)
        return LVRM_ERR_WRONG_BLOCK_FORMAT;
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(blocks), max);
    std::array<std::uint8_t, 254> block{};
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t length = 0;
        if (!answer.block(static_cast<std::int32_t>(i), listArea, block.data(), length))
            return LVRM_ERR_WRONG_BLOCK_FORMAT;
        take(i, std::span(block).first(std::min<std::size_t>(length, block.size())));
    }
    return static_cast<std::int32_t>(count);
}

Outcome send(std::int32_t handle, std::uint8_t command, const Request& request, Answer& answer, std::uint8_t* status)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return {valid, false};
    if (!request.usable()) {
        Fields::put<std::uint8_t>(status, QVL_STATUS_BAD_ARGUMENT);
        return {0, false};
    }
    if (const std::int32_t code = exchange(handle, command, request.data(), answer); code != 0)
        return {code, false};
    return {0, true};
}

Outcome run(std::int32_t handle, std::uint8_t command, const Request& request, Answer& answer, std::uint8_t* status)
{
    const Outcome outcome = send(handle, command, request, answer, status);
    if (outcome.answered)
        Fields::put(status, answer.status);
    return outcome;
}

std::int32_t status(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* status)
{
    Answer answer;
    return run(handle, command, request, answer, status).code;
}

std::int32_t raw(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* length,
                 std::uint8_t* data, std::uint8_t* status)
{
    Answer answer;
    const Outcome outcome = run(handle, command, request, answer, status);
    if (outcome.answered) {
        Fields::put(length, answer.length);
        const auto bytes = answerBytes(answer);
        if (data && !bytes.empty())
            std::memcpy(data, bytes.data(), bytes.size());
    }
    return outcome.code;
}

namespace {

std::int32_t getFrom(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* status,
                     Fill rule, bool plainOnly, Filler fill)
{
    Answer answer;
    const Outcome outcome = run(handle, command, request, answer, status);
    if (!outcome.answered)
        return outcome.code;
    const bool filled = rule == Fill::Cleared || !answer.refused();
    const auto data = plainOnly ? answer.bytes() : answerBytes(answer);
    fill(Fields(filled ? data : std::span<const std::uint8_t>{},
                rule == Fill::KeptUnlessOk ? Fields::Missing::Keep : Fields::Missing::Zero));
    return 0;
}

} // namespace

std::int32_t get(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* status, Fill rule,
                 Filler fill)
{
    return getFrom(handle, command, request, status, rule, false, fill);
}

std::int32_t getPlain(std::int32_t handle, std::uint8_t command, const Request& request, std::uint8_t* status,
                      Fill rule, Filler fill)
{
    return getFrom(handle, command, request, status, rule, true, fill);
}

namespace {

std::size_t entryLength(EntryRule rule, std::uint8_t first, std::uint8_t second)
{
    if (rule == EntryRule::A || (rule == EntryRule::B && (first & 0x40)))
        return std::size_t{second} + 6;
    return 2 * std::size_t{second} + 6;
}

// Record i of an answer into slot i (and its length into lengths[i]) under the rule.
std::int32_t takeRecords(const Answer& answer, const RecordRule& rule, std::size_t max, std::uint8_t* slots,
                         std::uint8_t* lengths)
{
    const bool whole = rule.rest == SlotRest::Untouched && !answer.isBlockList();
    return eachRecord(answer, rule.listArea, max, [&](std::size_t i, std::span<const std::uint8_t> record) {
        const auto kept = whole ? record : record.first(std::min(record.size(), rule.slotSize));
        if (lengths)
            lengths[i] = static_cast<std::uint8_t>(kept.size());
        if (rule.rest == SlotRest::Cleared)
            toSlot(slots, rule.slotSize, i, kept);
        else if (slots && !kept.empty())
            std::memcpy(slots + i * rule.slotSize, kept.data(), kept.size());
    });
}

// The exchange of a record command up to its records, in the rule's order:
// answered when the records are to be taken; otherwise the handle check's,
// the exchange's or the malformed list's code, or 0 after a refusal.
Outcome sendForRecords(std::int32_t handle, std::uint8_t command, const Request& request, const RecordRule& rule,
                       Answer& answer, std::uint8_t* status)
{
    const Outcome outcome = send(handle, command, request, answer, status);
    if (!outcome.answered)
        return outcome;
    if (rule.order == RecordOrder::ListFirst && answer.isBlockList() && answer.blockCount(rule.listArea) < 0)
        return {LVRM_ERR_WRONG_BLOCK_FORMAT, false};
    Fields::put(status, answer.status);
    if (rule.order == RecordOrder::StatusFirst && answer.refused())
        return {0, false};
    return outcome;
}

} // namespace

std::int32_t entries(std::int32_t handle, std::uint8_t command, const Request& request, EntryRule rule,
                     std::int32_t* count, std::uint8_t* slots, std::uint8_t* status)
{
    return get(handle, command, request, status, Fill::Cleared, [=](const Fields& f) {
        // An entry whose length byte is missing or that runs past the end of
        // the answer is dropped; at most a slot's worth of an entry is kept.
        const auto data = f.data();
        std::int32_t n = 0;
        for (std::size_t at = 0; at + 1 < data.size() && static_cast<std::size_t>(n) < kMaxEntries;) {
            const std::size_t length = entryLength(rule, data[at], data[at + 1]);
            if (length > data.size() - at)
                break;
            if (slots)
                std::memcpy(slots + static_cast<std::size_t>(n) * kEntrySize, data.data() + at,
                            std::min(length, kEntrySize));
            ++n;
            at += length;
        }
        Fields::put(count, n);
    });
}

std::int32_t records(std::int32_t handle, std::uint8_t command, const Request& request, const RecordRule& rule,
                     const RecordSlots& out, std::uint8_t* status)
{
    Answer answer;
    const Outcome outcome = sendForRecords(handle, command, request, rule, answer, status);
    if (!outcome.answered)
        return outcome.code;
    const std::int32_t count = takeRecords(answer, rule, out.max, out.slots, out.lengths);
    if (count < 0)
        return count;
    Fields::put(out.count, static_cast<std::uint8_t>(count));
    return 0;
}

std::int32_t response(std::int32_t handle, std::uint8_t command, const Request& request, const RecordRule& rule,
                      std::uint8_t* length, std::uint8_t* data, std::uint8_t* status)
{
    Answer answer;
    const Outcome outcome = sendForRecords(handle, command, request, rule, answer, status);
    if (!outcome.answered || answer.refused())
        return outcome.code;
    std::uint8_t kept = 0;
    const std::int32_t count = takeRecords(answer, rule, 1, data, &kept);
    if (count < 0)
        return count;
    Fields::put(length, count > 0 ? kept : std::uint8_t{0});
    return 0;
}

std::int32_t setText(std::int32_t handle, const ParameterCommands& c, std::uint8_t id, const char* text,
                     std::uint8_t* status)
{
    return tables::status(handle, c.set, Request().byte(id).text(text), status);
}

std::int32_t getText(std::int32_t handle, const ParameterCommands& c, std::uint8_t id, char* text,
                     std::uint8_t* status)
{
    return get(handle, c.read, Request().byte(id), status, c.rule, [=](const Fields& f) { f.text(text, 0); });
}

std::int32_t setBytes(std::int32_t handle, const ParameterCommands& c, std::uint8_t id, const std::uint8_t* value,
                      std::size_t count, std::uint8_t* status)
{
    return tables::status(handle, c.set, Request().byte(id).bytes(value, count), status);
}

std::int32_t getBytes(std::int32_t handle, const ParameterCommands& c, std::uint8_t id, std::uint8_t* value,
                      std::size_t count, std::uint8_t* status)
{
    return get(handle, c.read, Request().byte(id), status, c.rule,
               [=](const Fields& f) { f.bytes(value, 0, count); });
}

namespace layout {

Request pages(std::int32_t firstPage, std::int32_t itemCount, const std::uint16_t* items)
{
    Request r;
    r.byte(firstPage).words(items, itemCount);
    return r;
}

Request highBit(std::int32_t flag)
{
    Request r;
    r.byte(flag != 0 ? 0x80 : 0x00);
    return r;
}

} // namespace layout

namespace iso {

std::uint8_t modeFlag(std::int32_t mode)
{
    switch (mode) {
    case 1: return ISO15693_FLAG_SELECT;
    case 2: return ISO15693_FLAG_ADDRESS;
    default: return 0;
    }
}

Request& header(Request& r, std::uint8_t flags, std::uint8_t code, bool custom, const std::uint8_t* uid)
{
    r.byte(flags).byte(code).byteIf(custom, ISO15693_CHM_MANUFACTURER);
    return (flags & ISO15693_FLAG_ADDRESS) ? r.reversed(uid, ISO15693_UID_SIZE) : r;
}

Request& mask(Request& r, std::uint8_t bits, const std::uint8_t* mask)
{
    return r.byte(bits).reversed(mask, bits == 0 ? 0 : (bits - 1) / 8 + 1);
}

} // namespace iso

void readNsnt(const Fields& f, std::int32_t* flag, std::uint16_t* values)
{
    constexpr std::size_t kNeed = 34; // more than 33 bytes
    f.bit(flag, 0, 0x01, kNeed);
    for (std::size_t i = 0; i < 16; ++i)
        f.word(values ? values + i : nullptr, 2 + 2 * i, kNeed);
}

} // namespace quorvel::tables
