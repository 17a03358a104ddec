#include "sim/tag_file.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

bool hexNumber(std::string_view text, unsigned long& value, std::size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc() && end == text.data() + text.size();
}

bool decimal(std::string_view text, int& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool fail(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return false;
}

// Tag bytes as hex digits, two per byte.
bool hexBytes(std::string_view text, std::vector<std::uint8_t>& bytes)
{
    if (text.empty() || text.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned long byte = 0;
        if (!hexNumber(text.substr(i, 2), byte, 2))
            return false;
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return true;
}

// "0-7,9" into block numbers.
bool blockList(std::string_view text, std::vector<int>& blocks)
{
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const auto dash = item.find('-');
        int first = 0, last = 0;
        if (dash == std::string_view::npos) {
            if (!decimal(item, first))
                return false;
            last = first;
        } else if (!decimal(item.substr(0, dash), first) || !decimal(item.substr(dash + 1), last) || last < first) {
            return false;
        }
        for (int b = first; b <= last; ++b)
            blocks.push_back(b);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return true;
}

// What the items of a tag line after its UID say.
struct TagItems {
    int blockCount = Tag::kDefaultBlockCount;
    std::optional<std::uint8_t> afi, dsfid;
    std::optional<bool> eas;
    bool noEas = false, afiLock = false, dsfidLock = false, easLock = false;
    std::vector<int> locked;
    std::vector<std::uint32_t> values;   // block values from block 0
    std::vector<std::uint8_t> memory;    // or the memory bytes in tag order
};

// One item: a word (noeas, afilock, dsfidlock, easlock, a block value) or
// key=value (afi, dsfid, eas, blocks, locked, mem). False when it is none.
bool takeItem(const std::string& word, TagItems& t)
{
    const auto eq = word.find('=');
    unsigned long number = 0;
    if (eq == std::string::npos) {
        if (word == "noeas")
            t.noEas = true;
        else if (word == "afilock")
            t.afiLock = true;
        else if (word == "dsfidlock")
            t.dsfidLock = true;
        else if (word == "easlock")
            t.easLock = true;
        else if (word.size() == 8 && hexNumber(word, number, 8))
            t.values.push_back(static_cast<std::uint32_t>(number));
        else
            return false;
        return true;
    }
    const std::string key = word.substr(0, eq);
    const std::string value = word.substr(eq + 1);
    if (key == "afi" || key == "dsfid") {
        const bool ok = hexNumber(value, number, 2);
        (key == "afi" ? t.afi : t.dsfid) = static_cast<std::uint8_t>(number);
        return ok;
    }
    if (key == "eas") {
        t.eas = value == "1";
        return value == "0" || value == "1";
    }
    if (key == "blocks")
        return decimal(value, t.blockCount) && t.blockCount >= 1 && t.blockCount <= 256;
    if (key == "locked")
        return blockList(value, t.locked);
    if (key == "mem")
        return t.memory.empty() && hexBytes(value, t.memory);
    return false;
}

// Block values or memory bytes that fit the tag's blocks, not both.
bool itemsFit(const TagItems& t, std::string* error)
{
    if (t.values.size() > static_cast<std::size_t>(t.blockCount))
        return fail(error, std::to_string(t.values.size()) + " block values for " + std::to_string(t.blockCount) +
                               " blocks");
    if (!t.memory.empty() && !t.values.empty())
        return fail(error, "mem= and block values on one line");
    const std::size_t capacity = static_cast<std::size_t>(t.blockCount) * Tag::kDefaultBlockSize;
    if (t.memory.size() > capacity)
        return fail(error, std::to_string(t.memory.size()) + " memory bytes for " + std::to_string(t.blockCount) +
                               " blocks");
    return true;
}

// The tag the items describe; nothing when a locked block is not there.
std::optional<Tag> makeTag(const Uid& uid, TagItems t, std::string* error)
{
    Tag tag(uid, t.blockCount);
    for (std::size_t i = 0; i < t.values.size(); ++i)
        tag.setBlock(static_cast<int>(i), t.values[i]);
    auto& memory = t.memory;
    memory.resize((memory.size() + Tag::kDefaultBlockSize - 1) / Tag::kDefaultBlockSize * Tag::kDefaultBlockSize);
    for (std::size_t i = 0; i < memory.size(); i += Tag::kDefaultBlockSize)
        tag.setBlockBytes(static_cast<int>(i / Tag::kDefaultBlockSize),
                          std::span(memory).subspan(i, Tag::kDefaultBlockSize));
    for (int b : t.locked)
        if (!tag.setBlockLocked(b)) {
            fail(error, "no block " + std::to_string(b) + " to lock");
            return std::nullopt;
        }
    if (t.afi)
        tag.setAfi(*t.afi);
    if (t.dsfid)
        tag.setDsfid(*t.dsfid);
    if (t.eas)
        tag.setEas(*t.eas);
    tag.setEasSupported(!t.noEas);
    tag.setAfiLocked(t.afiLock);
    tag.setDsfidLocked(t.dsfidLock);
    tag.setEasLocked(t.easLock);
    return tag;
}

} // namespace

std::optional<Tag> parseTagLine(std::string_view line, std::string* error)
{
    std::istringstream in{std::string(line)};
    std::string word;
    if (!(in >> word)) {
        fail(error, "empty line");
        return std::nullopt;
    }
    const auto uid = uidFromText(word);
    if (!uid) {
        fail(error, "\"" + word + "\" is not a UID (16 hex digits)");
        return std::nullopt;
    }
    TagItems items;
    while (in >> word)
        if (!takeItem(word, items)) {
            fail(error, "bad item \"" + word + "\"");
            return std::nullopt;
        }
    if (!itemsFit(items, error))
        return std::nullopt;
    return makeTag(*uid, std::move(items), error);
}

std::string formatTagLine(const Tag& tag)
{
    char buf[32];
    std::string line = uidToText(tag.uid());
    std::snprintf(buf, sizeof buf, " afi=%02X dsfid=%02X eas=%d", tag.afi(), tag.dsfid(), tag.eas() ? 1 : 0);
    line += buf;
    if (!tag.easSupported())
        line += " noeas";
    if (tag.blockCount() != Tag::kDefaultBlockCount)
        line += " blocks=" + std::to_string(tag.blockCount());
    std::string locked;
    for (int b = 0; b < tag.blockCount(); ++b) {
        if (!tag.blockLocked(b))
            continue;
        int last = b;
        while (last + 1 < tag.blockCount() && tag.blockLocked(last + 1))
            ++last;
        locked += (locked.empty() ? "" : ",") + std::to_string(b) + (last > b ? "-" + std::to_string(last) : "");
        b = last;
    }
    if (!locked.empty())
        line += " locked=" + locked;
    if (tag.afiLocked())
        line += " afilock";
    if (tag.dsfidLocked())
        line += " dsfidlock";
    if (tag.easLocked())
        line += " easlock";
    // Block values up to the last non-zero one.
    int last = tag.blockCount() - 1;
    while (last >= 0 && tag.block(last) == 0)
        --last;
    for (int b = 0; b <= last; ++b) {
        std::snprintf(buf, sizeof buf, " %08X", tag.block(b));
        line += buf;
    }
    return line;
}

std::optional<std::vector<Tag>> loadTagFile(const std::string& path, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        fail(error, path + ": cannot read");
        return std::nullopt;
    }
    std::vector<Tag> tags;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const auto start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#')
            continue;
        std::string why;
        auto tag = parseTagLine(line, &why);
        if (!tag) {
            fail(error, path + ":" + std::to_string(number) + ": " + why);
            return std::nullopt;
        }
        tags.push_back(std::move(*tag));
    }
    return tags;
}

std::string dumpTag(const Tag& tag)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s  AFI %02X%s  DSFID %02X%s  EAS %s%s  %d blocks of %d bytes\n",
                  uidToText(tag.uid()).c_str(), tag.afi(), tag.afiLocked() ? " (locked)" : "", tag.dsfid(),
                  tag.dsfidLocked() ? " (locked)" : "", !tag.easSupported() ? "not supported" : tag.eas() ? "on" : "off",
                  tag.easLocked() ? " (locked)" : "", tag.blockCount(), tag.blockSize());
    std::string text = buf;
    for (int b = 0; b < tag.blockCount(); ++b) {
        std::snprintf(buf, sizeof buf, "  block %3d  %08X  %s%s\n", b, tag.block(b),
                      hexBytes(tag.blockBytes(b)).c_str(), tag.blockLocked(b) ? "  locked" : "");
        text += buf;
    }
    return text;
}

} // namespace sim
