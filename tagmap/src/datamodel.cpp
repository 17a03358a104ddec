#include "datamodel.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace brenholt::datamodel {
namespace {

// ISO 28560-3 basic block: byte 0 version and type of usage, 1 parts in the
// set, 2 this part, 3-18 item identifier, 19-20 CRC (low byte first), 21-22
// owner's country, 23-33 the rest of the owner's ISIL.
constexpr std::size_t kItemIdFirst = 3;
constexpr std::size_t kItemIdEnd = 19;
constexpr std::size_t kCrcLow = 19;
constexpr std::size_t kCrcHigh = 20;
constexpr std::size_t kCountryFirst = 21;
constexpr std::size_t kOwnerFirst = 23;
constexpr std::size_t kOwnerEnd = BRN_DM_BASIC_BLOCK;
constexpr std::uint8_t kLongItemIdMarker = 0x01;
constexpr unsigned kVersion = 1;

// Extension blocks: length, block ID (2 bytes, low first), XOR checksum, fields.
constexpr std::size_t kFrameHeader = 4;
constexpr std::uint8_t kEndOfBlocks = 0;
constexpr std::uint8_t kFiller = 1;

// ISO/IEC 15962 precursor: offset flag, compaction scheme, relative OID (15:
// one more byte follows holding OID - 15).
constexpr std::uint8_t kPrecursorOffset = 0x80;
constexpr std::uint8_t kEndOfData = 0x00;
constexpr std::uint8_t kEmptyPrecursor = 0x80;
constexpr unsigned kOidExtended = 15;
constexpr std::size_t kMaxLengthBytes = 4;

// This library's block 0, top byte (tag byte 3): format version 1 in the
// high nibble, item type 0 to 2 and item identifier bit 56 below.
constexpr std::uint8_t kHouseBlock0First = 0x10;
constexpr std::uint8_t kHouseBlock0Last = 0x15;

// Integers longer than this are given in hex (their decimal text would not
// fit any text field anyway).
constexpr std::size_t kMaxDecimalBytes = 48;

std::uint8_t byteAt(Bytes m, std::size_t i) { return i < m.size() ? m[i] : 0; }

// The bytes from..end of memory (fewer, or none, where memory ends).
Bytes range(Bytes m, std::size_t from, std::size_t end)
{
    from = std::min(from, m.size());
    return m.subspan(from, std::min(end, m.size()) - from);
}

Bytes untilZero(Bytes field)
{
    const auto zero = std::find(field.begin(), field.end(), std::uint8_t{0});
    return field.first(static_cast<std::size_t>(zero - field.begin()));
}

bool allZero(Bytes data)
{
    return std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b == 0; });
}

// ---- Text ----------------------------------------------------------------

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool printable(std::uint32_t cp) { return cp >= 0x20 && cp != 0x7F && (cp < 0x80 || cp > 0x9F); }

// The well-formed UTF-8 sequence at data[i]: its length and code point; 0
// for a byte that starts none (stray continuation, overlong form, surrogate,
// beyond U+10FFFF, cut short).
std::size_t utf8Sequence(Bytes data, std::size_t i, std::uint32_t& cp)
{
    const std::uint8_t lead = data[i];
    std::size_t length = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > data.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((data[i + k] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (data[i + k] & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

// Printable UTF-8 as it is; nothing when any byte is not.
std::optional<std::string> utf8Text(Bytes data)
{
    for (std::size_t i = 0; i < data.size();) {
        std::uint32_t cp = 0;
        const std::size_t n = utf8Sequence(data, i, cp);
        if (n == 0 || !printable(cp))
            return std::nullopt;
        i += n;
    }
    return std::string(data.begin(), data.end());
}

// UTF-8 with every byte that is not printable text replaced by U+FFFD.
std::string lenientUtf8(Bytes data)
{
    std::string out;
    for (std::size_t i = 0; i < data.size();) {
        std::uint32_t cp = 0;
        const std::size_t n = utf8Sequence(data, i, cp);
        if (n == 0 || !printable(cp)) {
            appendUtf8(out, 0xFFFD);
            i += std::max<std::size_t>(n, 1);
        } else {
            out.append(reinterpret_cast<const char*>(data.data() + i), n);
            i += n;
        }
    }
    return out;
}

std::string hexText(Bytes data)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : data) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

Text hex(Bytes data) { return {hexText(data), true}; }

// Copies text into a field of size bytes, NUL-terminated, cut at a
// character boundary when it does not fit. Whether it was cut.
bool copyText(const std::string& text, char* out, std::size_t size)
{
    std::size_t n = text.size();
    const bool cut = n >= size;
    if (cut) {
        n = size - 1;
        while (n > 0 && (static_cast<std::uint8_t>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return cut;
}

// ---- ISO/IEC 15962 compaction --------------------------------------------

// Reads groups of bits, most significant first.
class BitReader {
public:
    explicit BitReader(Bytes data) : data_(data) {}
    std::size_t left() const { return data_.size() * 8 - pos_; }
    unsigned take(unsigned bits)
    {
        unsigned value = 0;
        for (unsigned k = 0; k < bits; ++k, ++pos_)
            value = value << 1 | ((data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u);
        return value;
    }

private:
    Bytes data_;
    std::size_t pos_ = 0;
};

std::string decimal(Bytes data)
{
    std::vector<std::uint8_t> number(data.begin(), data.end());
    std::string digits;
    while (!allZero(number)) {
        unsigned remainder = 0;
        for (auto& b : number) {
            const unsigned current = remainder * 256 + b;
            b = static_cast<std::uint8_t>(current / 10);
            remainder = current % 10;
        }
        digits += static_cast<char>('0' + remainder);
    }
    if (digits.empty())
        digits.push_back('0');
    std::reverse(digits.begin(), digits.end());
    return digits;
}

// One digit per nibble; a 0xF nibble pads the last byte.
std::optional<std::string> numeric(Bytes data)
{
    std::string out;
    const std::size_t nibbles = data.size() * 2;
    for (std::size_t k = 0; k < nibbles; ++k) {
        const unsigned d = k % 2 == 0 ? data[k / 2] >> 4 : data[k / 2] & 0xFu;
        if (d <= 9)
            out += static_cast<char>('0' + d);
        else if (!(d == 0xF && k == nibbles - 1))
            return std::nullopt;
    }
    return out;
}

// Fixed-width character groups; a last group too short is padding, and so
// are trailing pad characters.
template <typename Map>
std::string groups(Bytes data, unsigned bits, char pad, Map map)
{
    BitReader in(data);
    std::string out;
    while (in.left() >= bits)
        out += static_cast<char>(map(in.take(bits)));
    while (!out.empty() && out.back() == pad)
        out.pop_back();
    return out;
}

// The ISIL scheme: 5-bit upper- and lower-case letter sets (0 '-', 1-26
// letters, 27 ':' upper / '/' lower; 28 latch the other case, 29 shift it for
// one character, 30 latch digits, 31 shift to one digit) and a 4-bit digit
// set (0-9, 10 '-', 11 ':'; 12/13 latch/shift upper case, 14/15 lower case).
// A group cut short at the end is padding.
std::optional<std::string> isil(Bytes data)
{
    enum class Set { Upper, Lower, Digit };
    Set latched = Set::Upper;
    std::optional<Set> shifted;
    BitReader in(data);
    std::string out;
    for (;;) {
        const Set set = shifted.value_or(latched);
        const unsigned bits = set == Set::Digit ? 4 : 5;
        if (in.left() < bits)
            break;
        const unsigned g = in.take(bits);
        shifted.reset();
        if (set == Set::Digit) {
            if (g <= 9)
                out += static_cast<char>('0' + g);
            else if (g == 10)
                out += '-';
            else if (g == 11)
                out += ':';
            else if (g == 12 || g == 14)
                latched = g == 12 ? Set::Upper : Set::Lower;
            else
                shifted = g == 13 ? Set::Upper : Set::Lower;
            continue;
        }
        const Set other = set == Set::Upper ? Set::Lower : Set::Upper;
        if (g == 0)
            out += '-';
        else if (g <= 26)
            out += static_cast<char>((set == Set::Upper ? 'A' : 'a') + g - 1);
        else if (g == 27)
            out += set == Set::Upper ? ':' : '/';
        else if (g == 28)
            latched = other;
        else if (g == 29)
            shifted = other;
        else if (g == 30)
            latched = Set::Digit;
        else
            shifted = Set::Digit;
    }
    if (out.empty() && !data.empty())
        return std::nullopt;
    return out;
}

} // namespace

std::uint16_t crc16(Bytes data)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : data) {
        crc ^= static_cast<std::uint16_t>(b << 8);
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::uint16_t basicBlockCrc(Bytes memory)
{
    std::uint8_t covered[BRN_DM_BASIC_BLOCK - 2];
    std::size_t n = 0;
    for (std::size_t i = 0; i < BRN_DM_BASIC_BLOCK; ++i)
        if (i != kCrcLow && i != kCrcHigh)
            covered[n++] = byteAt(memory, i);
    return crc16(covered);
}

std::optional<std::size_t> readLength(Bytes memory, std::size_t& pos)
{
    std::size_t length = 0;
    for (std::size_t k = 0; k < kMaxLengthBytes; ++k) {
        if (pos >= memory.size())
            return std::nullopt;
        const std::uint8_t b = memory[pos++];
        length = length << 7 | (b & 0x7Fu);
        if (!(b & 0x80))
            return length;
    }
    return std::nullopt;
}

Text decompact(unsigned scheme, unsigned oid, Bytes data)
{
    if (data.empty())
        return {};
    switch (scheme) {
    case BRN_DM_COMPACTION_APPLICATION:
        if (oid == BRN_DM_OID_OWNER || oid == BRN_DM_OID_ILL_BORROWER)
            if (auto text = isil(data))
                return {*text};
        return hex(data);
    case BRN_DM_COMPACTION_INTEGER:
        return data.size() <= kMaxDecimalBytes ? Text{decimal(data)} : hex(data);
    case BRN_DM_COMPACTION_NUMERIC:
        if (auto text = numeric(data))
            return {*text};
        return hex(data);
    case BRN_DM_COMPACTION_5BIT:
        return {groups(data, 5, '@', [](unsigned g) { return 0x40 + g; })};
    case BRN_DM_COMPACTION_6BIT:
        return {groups(data, 6, ' ', [](unsigned g) { return g >= 0x20 ? g : 0x40 + g; })};
    case BRN_DM_COMPACTION_7BIT: {
        const std::string text = groups(data, 7, '\0', [](unsigned g) { return g; });
        if (auto clean = utf8Text({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}))
            return {*clean};
        return hex(data);
    }
    case BRN_DM_COMPACTION_OCTET: {
        std::string out;
        for (std::uint8_t b : data) {
            if (!printable(b))
                return hex(data);
            appendUtf8(out, b);
        }
        return {out};
    }
    default:
        if (auto text = utf8Text(data))
            return {*text};
        return hex(data);
    }
}

namespace {

// ---- Building the result -------------------------------------------------

class Result {
public:
    explicit Result(brnDataModelInfo& info) : info_(info)
    {
        std::memset(&info_, 0, sizeof info_);
        info_.crcValid = BRN_DM_NOT_CARRIED;
        info_.version = BRN_DM_NOT_CARRIED;
        info_.typeOfUsage = BRN_DM_NOT_CARRIED;
        info_.parts = BRN_DM_NOT_CARRIED;
        info_.part = BRN_DM_NOT_CARRIED;
    }

    brnDataModelInfo& info() { return info_; }
    void flag(std::uint32_t bits) { info_.flags |= bits; }
    void itemId(const std::string& text) { textInto(text, info_.itemId, sizeof info_.itemId); }
    void owner(const std::string& text) { textInto(text, info_.owner, sizeof info_.owner); }

    void element(std::uint32_t kind, std::uint32_t id, std::uint32_t field, std::uint32_t compaction,
                 std::uint32_t flags, std::size_t offset, std::size_t length, const Text& text)
    {
        if (info_.elementCount == BRN_DM_MAX_ELEMENTS) {
            flag(BRN_DM_FLAG_ELEMENTS_DROPPED);
            return;
        }
        brnDataElement& e = info_.elements[info_.elementCount++];
        e.kind = kind;
        e.id = id;
        e.field = field;
        e.compaction = compaction;
        e.flags = flags | (text.hex ? BRN_DM_ELEMENT_HEX : 0);
        e.offset = static_cast<std::uint32_t>(offset);
        e.length = static_cast<std::uint32_t>(length);
        if (textInto(text.text, e.text, sizeof e.text))
            e.flags |= BRN_DM_ELEMENT_CUT;
    }

private:
    bool textInto(const std::string& text, char* out, std::size_t size)
    {
        const bool cut = copyText(text, out, size);
        if (cut)
            flag(BRN_DM_FLAG_TEXT_CUT);
        return cut;
    }

    brnDataModelInfo& info_;
};

// ---- ISO 28560-3 -----------------------------------------------------------

std::uint16_t storedCrc(Bytes m) { return static_cast<std::uint16_t>(byteAt(m, kCrcLow) | byteAt(m, kCrcHigh) << 8); }

bool crcMatches(Bytes m) { return storedCrc(m) == basicBlockCrc(m); }

// A zero-padded text field: printable UTF-8, then zeros only.
bool paddedText(Bytes field)
{
    const Bytes text = untilZero(field);
    return utf8Text(text) && allZero(field.subspan(text.size()));
}

// Laid out like a basic block, whatever its CRC says: version 1 in one
// nibble of byte 0, text fields padded with zeros, a two-letter country.
bool looksLikeBasicBlock(Bytes m)
{
    const unsigned high = m[0] >> 4, low = m[0] & 0xFu;
    if (high != kVersion && low != kVersion)
        return false;
    const Bytes id = range(m, kItemIdFirst, kItemIdEnd);
    const bool idOk = paddedText(id) || (id[0] == kLongItemIdMarker && allZero(id.subspan(1)));
    const Bytes country = range(m, kCountryFirst, kOwnerFirst);
    const auto letter = [](std::uint8_t c) { return c >= 'A' && c <= 'Z'; };
    const bool countryOk = allZero(country) || std::all_of(country.begin(), country.end(), letter);
    return idOk && countryOk && paddedText(range(m, kOwnerFirst, kOwnerEnd));
}

// The ISIL: country, hyphen, the rest.
std::string ownerIsil(Bytes country, Bytes library)
{
    const std::string c = lenientUtf8(untilZero(country)), rest = lenientUtf8(untilZero(library));
    if (c.empty() || rest.empty())
        return c + rest;
    return c + "-" + rest;
}

// The field names and kinds of the structured extension blocks: how many
// fields, and whether field 0 is a one-byte number (the library extension
// block's media format).
struct BlockLayout {
    std::uint32_t id;
    bool numberFirst;
    const char* names[4];
};
constexpr BlockLayout kBlockLayouts[] = {
    {BRN_DM_BLOCK_LIBRARY, true, {"media format", "long item identifier", "owner institution", nullptr}},
    {BRN_DM_BLOCK_ACQUISITION,
     false,
     {"supplier identifier", "product identifier", "order number", "supplier invoice number"}},
    {BRN_DM_BLOCK_SUPPLEMENT,
     false,
     {"MARC media format", "ONIX media format", "shelf location", "subsidiary of owner"}},
    {BRN_DM_BLOCK_TITLE, false, {"title", nullptr, nullptr, nullptr}},
    {BRN_DM_BLOCK_ILL,
     false,
     {"borrowing institution", "ILL transaction number", "alternative ILL institution", nullptr}},
};

const BlockLayout* blockLayout(std::uint32_t id)
{
    for (const auto& layout : kBlockLayouts)
        if (layout.id == id)
            return &layout;
    return nullptr;
}

// The fields of one extension block; data starts at memory byte offset.
void decodeBlockFields(Result& r, std::uint32_t id, Bytes data, std::size_t offset, std::uint32_t flags)
{
    const BlockLayout* layout = blockLayout(id);
    if (!layout) {
        const Bytes text = untilZero(data);
        const bool isText = allZero(data.subspan(text.size())) && utf8Text(text);
        r.element(BRN_DM_ELEMENT_BLOCK_FIELD, id, 0, 0, flags, offset, data.size(),
                  isText ? Text{std::string(text.begin(), text.end())} : hex(data));
        return;
    }
    std::size_t pos = 0;
    for (std::uint32_t field = 0; field < 4 && layout->names[field] && pos < data.size(); ++field) {
        Bytes value;
        Text text;
        if (field == 0 && layout->numberFirst) {
            value = data.subspan(pos, 1);
            text.text = std::to_string(value[0]);
            pos += 1;
        } else {
            value = untilZero(data.subspan(pos));
            text.text = lenientUtf8(value);
            pos += value.size() + 1; // and its terminating zero
        }
        if (!value.empty())
            r.element(BRN_DM_ELEMENT_BLOCK_FIELD, id, field, 0, flags, offset + (value.data() - data.data()),
                      value.size(), text);
    }
}

// The extension blocks after the basic block, up to the end block.
void decodeExtensionBlocks(Result& r, Bytes m)
{
    std::size_t pos = BRN_DM_BASIC_BLOCK;
    while (pos < m.size()) {
        const std::size_t length = m[pos];
        if (length == kEndOfBlocks)
            return;
        if (length == kFiller) {
            ++pos;
            continue;
        }
        if (length < kFrameHeader) {
            r.flag(BRN_DM_FLAG_MALFORMED);
            return;
        }
        if (pos + length > m.size()) {
            r.flag(BRN_DM_FLAG_MEMORY_ENDS);
            return;
        }
        const Bytes block = m.subspan(pos, length);
        std::uint8_t sum = 0;
        for (std::uint8_t b : block)
            sum ^= b;
        std::uint32_t flags = 0;
        if (sum != 0) {
            r.flag(BRN_DM_FLAG_CHECKSUM_FAILED);
            flags = BRN_DM_ELEMENT_CHECKSUM_FAILED;
        }
        const std::uint32_t id = block[1] | static_cast<std::uint32_t>(block[2]) << 8;
        decodeBlockFields(r, id, block.subspan(kFrameHeader), pos + kFrameHeader, flags);
        pos += length;
    }
}

// The basic block and the extension blocks; crcValid says whether the CRC matches.
void decodeIso28560_3(Result& r, Bytes m)
{
    brnDataModelInfo& info = r.info();
    unsigned high = m[0] >> 4, low = m[0] & 0xFu;
    if (high != kVersion && low == kVersion) {
        std::swap(high, low);
        r.flag(BRN_DM_FLAG_USAGE_SWAPPED);
    }
    info.version = static_cast<std::int32_t>(high);
    info.typeOfUsage = static_cast<std::int32_t>(low);
    info.parts = m[1];
    info.part = m[2];
    if (info.parts != 0 && info.part > info.parts) {
        std::swap(info.parts, info.part);
        r.flag(BRN_DM_FLAG_PARTS_SWAPPED);
    }
    info.crcStored = storedCrc(m);
    info.crcComputed = basicBlockCrc(m);
    info.crcValid = info.crcStored == info.crcComputed ? 1 : 0;
    if (m.size() < kOwnerEnd)
        r.flag(BRN_DM_FLAG_OWNER_TRUNCATED);
    r.owner(ownerIsil(range(m, kCountryFirst, kOwnerFirst), range(m, kOwnerFirst, kOwnerEnd)));
    const bool longId = m[kItemIdFirst] == kLongItemIdMarker;
    if (longId)
        r.flag(BRN_DM_FLAG_LONG_ITEM_ID);
    else
        r.itemId(lenientUtf8(untilZero(range(m, kItemIdFirst, kItemIdEnd))));
    decodeExtensionBlocks(r, m);
    // The library extension block carries what the basic block has no room for.
    for (std::uint32_t i = 0; i < info.elementCount; ++i) {
        const brnDataElement& e = info.elements[i];
        if (e.kind != BRN_DM_ELEMENT_BLOCK_FIELD || e.id != BRN_DM_BLOCK_LIBRARY)
            continue;
        if (e.field == 1 && longId)
            r.itemId(e.text);
        if (e.field == 2 && info.owner[0] == '\0')
            r.owner(e.text);
    }
}

// The same memory with the bytes of every 4-byte block in reverse order.
std::vector<std::uint8_t> blocksReversed(Bytes m)
{
    std::vector<std::uint8_t> out(m.begin(), m.end());
    for (std::size_t i = 0; i + 4 <= out.size(); i += 4)
        std::reverse(out.begin() + static_cast<std::ptrdiff_t>(i), out.begin() + static_cast<std::ptrdiff_t>(i + 4));
    return out;
}

// ---- ISO 28560-2 -----------------------------------------------------------

struct Element {
    unsigned oid;
    unsigned compaction;
    std::size_t offset;
    std::size_t length;
};

struct Elements {
    std::vector<Element> list;
    unsigned firstOid = 0;  // of the first precursor, even when its element is cut
    bool cut = false;       // the last element runs past the memory
    bool malformed = false; // a precursor no element can have
};

Elements parseElements(Bytes m)
{
    Elements out;
    std::size_t pos = 0;
    while (pos < m.size()) {
        const std::uint8_t precursor = m[pos++];
        if (precursor == kEndOfData)
            break;
        if (precursor == kEmptyPrecursor)
            continue;
        unsigned oid = precursor & 0xFu;
        if (oid == 0) {
            out.malformed = true;
            break;
        }
        if (oid == kOidExtended) {
            if (pos >= m.size()) {
                out.cut = true;
                break;
            }
            oid += m[pos++];
        }
        if (out.firstOid == 0)
            out.firstOid = oid;
        std::size_t pad = 0;
        if (precursor & kPrecursorOffset) {
            if (pos >= m.size()) {
                out.cut = true;
                break;
            }
            pad = m[pos++];
        }
        const auto length = readLength(m, pos);
        if (!length || *length > m.size() - pos) {
            out.cut = true;
            break;
        }
        out.list.push_back({oid, (precursor >> 4) & 7u, pos, *length});
        pos += *length;
        pos = std::min(pos + pad, m.size());
    }
    return out;
}

// OID 1 first, whole or cut by the end of memory: what the DSFID of ISO
// 28560-2 promises.
bool startsWithItemId(const Elements& e) { return e.firstOid == BRN_DM_OID_ITEM_ID && (!e.list.empty() || e.cut); }

// Without the DSFID: elements from the first byte to the end or the end
// marker, OID 1 first, only once and with text, every OID a defined one.
bool plausibleIso28560_2(const Elements& e, Bytes m)
{
    if (e.cut || e.malformed || e.list.empty())
        return false;
    const Element& first = e.list.front();
    if (first.oid != BRN_DM_OID_ITEM_ID || first.length == 0)
        return false;
    if (decompact(first.compaction, first.oid, m.subspan(first.offset, first.length)).hex)
        return false;
    return std::all_of(e.list.begin() + 1, e.list.end(), [](const Element& x) {
        return x.oid != BRN_DM_OID_ITEM_ID && x.oid <= BRN_DM_OID_LAST_DEFINED;
    });
}

void decodeIso28560_2(Result& r, const Elements& elements, Bytes m)
{
    brnDataModelInfo& info = r.info();
    if (elements.cut)
        r.flag(BRN_DM_FLAG_MEMORY_ENDS);
    if (elements.malformed)
        r.flag(BRN_DM_FLAG_MALFORMED);
    bool haveOwner = false, haveUsage = false;
    for (const Element& e : elements.list) {
        const Bytes data = m.subspan(e.offset, e.length);
        const Text text = decompact(e.compaction, e.oid, data);
        r.element(BRN_DM_ELEMENT_OBJECT, e.oid, 0, e.compaction, 0, e.offset, e.length, text);
        if (e.oid == BRN_DM_OID_ITEM_ID && &e == &elements.list.front())
            r.itemId(text.text);
        if (e.oid == BRN_DM_OID_OWNER && !haveOwner && !text.hex) {
            r.owner(text.text);
            haveOwner = true;
        }
        if (e.oid == BRN_DM_OID_TYPE_OF_USAGE && !haveUsage && !data.empty() &&
            (e.compaction == BRN_DM_COMPACTION_APPLICATION || e.compaction == BRN_DM_COMPACTION_INTEGER)) {
            info.typeOfUsage = data[0] >> 4;
            haveUsage = true;
        }
    }
}

} // namespace

const char* elementName(const brnDataElement& e)
{
    // ISO 28560-2 object identifiers 1 to 26.
    static const char* const kObjects[] = {
        "primary item identifier", "content parameter", "owner library", "set information", "type of usage",
        "shelf location", "ONIX media format", "MARC media format", "supplier identifier", "order number",
        "ILL borrowing institution", "ILL transaction number", "GS1 product identifier",
        "alternative unique item identifier", "local data A", "local data B", "title", "product identifier (local)",
        "media format (other)", "supply chain stage", "supplier invoice number", "alternative item identifier",
        "alternative owner library", "subsidiary of owner library", "alternative ILL institution", "local data C"};
    static_assert(std::size(kObjects) == BRN_DM_OID_LAST_DEFINED);
    if (e.kind == BRN_DM_ELEMENT_OBJECT)
        return e.id >= 1 && e.id <= BRN_DM_OID_LAST_DEFINED ? kObjects[e.id - 1] : "";
    if (e.kind == BRN_DM_ELEMENT_BLOCK_FIELD)
        if (const BlockLayout* layout = blockLayout(e.id); layout && e.field < 4 && layout->names[e.field])
            return layout->names[e.field];
    return "";
}

void classify(Bytes m, int afi, int dsfid, brnDataModelInfo& info)
{
    Result r(info);
    if (allZero(m)) {
        r.flag(BRN_DM_FLAG_BLANK);
        return;
    }
    const bool houseAfi = afi == BRN_AFI_BOOK || afi == BRN_AFI_PATRON_CARD || afi == BRN_AFI_SHELF_TAG;
    const bool standardAfi = afi == BRN_DM_AFI_IN_STOCK || afi == BRN_DM_AFI_ON_LOAN;
    const bool houseBlock0 = m[3] >= kHouseBlock0First && m[3] <= kHouseBlock0Last;

    if (crcMatches(m) && !(houseBlock0 && !standardAfi)) {
        info.model = BRN_DM_MODEL_ISO28560_3;
        decodeIso28560_3(r, m);
        return;
    }
    if (houseAfi) {
        info.model = BRN_DM_MODEL_HOUSE;
        return;
    }
    const std::vector<std::uint8_t> reversed = blocksReversed(m);
    if (crcMatches(reversed)) {
        info.model = BRN_DM_MODEL_ISO28560_3;
        r.flag(BRN_DM_FLAG_BLOCKS_REVERSED);
        decodeIso28560_3(r, reversed);
        return;
    }
    const Elements elements = parseElements(m);
    if (dsfid == static_cast<int>(BRN_DM_DSFID_ISO28560_2) && startsWithItemId(elements)) {
        info.model = BRN_DM_MODEL_ISO28560_2;
        decodeIso28560_2(r, elements, m);
        return;
    }
    if (houseBlock0 && !standardAfi) {
        info.model = BRN_DM_MODEL_HOUSE;
        return;
    }
    if (plausibleIso28560_2(elements, m)) {
        info.model = BRN_DM_MODEL_ISO28560_2;
        r.flag(BRN_DM_FLAG_GUESSED);
        decodeIso28560_2(r, elements, m);
        return;
    }
    if (looksLikeBasicBlock(m)) {
        decodeIso28560_3(r, m);
        r.flag(BRN_DM_FLAG_CRC_FAILED);
        // Bytes 32 and 33 count in the CRC: with them read, it may match.
        if (m.size() < BRN_DM_BASIC_BLOCK)
            r.flag(BRN_DM_FLAG_MEMORY_ENDS);
    }
}

} // namespace brenholt::datamodel
