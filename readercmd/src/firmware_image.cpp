// Firmware images: Intel HEX files of 14-bit program words into fixed word
// images and image files, and the word key that scrambles them.
//
// The HEX dialect is the one the reader's firmware tools write (INHX8M): data
// records "00" and end records "01" only, byte addresses below 64 KiB, two
// bytes per word with the low byte first. Each line holds at most 254
// characters; the file ends with the line ":00000001FF".

#include "firmware_image.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/guard.h"

namespace quorvel {
namespace {

constexpr std::size_t kMaxLine = 254;
constexpr std::string_view kEndLine = ":00000001FF";
constexpr std::uint16_t kLargestWord = 0x3FFF;
constexpr std::uint16_t kErasedWord = 0xFFFF;
constexpr std::size_t kImageBytes = ORBA_IMAGE_FILE_BYTES;
static_assert(kImageBytes == 2 * kImageWords);

using Image = std::array<std::uint16_t, kImageWords>;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openFile(const char* path, const char* mode)
{
    return File(path ? std::fopen(path, mode) : nullptr);
}

// One line of text without its "\n" or "\r\n".
class LineReader {
public:
    enum class Result { Line, TooLong, End };

    explicit LineReader(std::FILE* in) : in_(in) {}

    Result next()
    {
        size_ = 0;
        int c = std::getc(in_);
        if (c == EOF)
            return Result::End;
        for (; c != EOF && c != '\n'; c = std::getc(in_)) {
            if (size_ == buffer_.size())
                return Result::TooLong; // never split: the rest would pass for a line
            buffer_[size_++] = static_cast<char>(c);
        }
        if (size_ > 0 && buffer_[size_ - 1] == '\r')
            --size_;
        return size_ > kMaxLine ? Result::TooLong : Result::Line;
    }

    std::string_view text() const { return {buffer_.data(), size_}; }

private:
    std::FILE* in_;
    std::array<char, kMaxLine + 1> buffer_{}; // room for a "\r" after a full line
    std::size_t size_ = 0;
};

std::optional<unsigned> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    return std::nullopt;
}

// The value of the hexadecimal digits s[pos, pos + n), if all are digits.
std::optional<unsigned> hexField(std::string_view s, std::size_t pos, std::size_t n)
{
    if (pos + n > s.size())
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        const auto d = hexDigit(s[i]);
        if (!d)
            return std::nullopt;
        value = value << 4 | *d;
    }
    return value;
}

// One record ":CCAAAATT" + words "LLHH" + checksum "SS". Stores nothing unless
// the whole record is sound.
bool storeRecord(std::string_view line, ImageSpan image)
{
    if (line.size() <= 10)
        return false;
    const auto count = hexField(line, 1, 2);
    const auto address = hexField(line, 3, 4);
    const std::string_view type = line.substr(7, 2);
    if (!count || !address || *count % 2 != 0 || *address % 2 != 0)
        return false;
    if (type != "00" && type != "01")
        return false;

    const std::size_t words = *count / 2;
    const std::size_t first = *address / 2;
    if (first + words > kImageWords)
        return false;

    std::array<std::uint16_t, kMaxLine / 4> values{};
    unsigned sum = *count + (*address >> 8) + (*address & 0xFF) + (type == "01" ? 1 : 0);
    for (std::size_t i = 0; i < words; ++i) {
        const auto low = hexField(line, 9 + 4 * i, 2);
        const auto high = hexField(line, 11 + 4 * i, 2);
        if (!low || !high)
            return false;
        const auto word = static_cast<std::uint16_t>(*high << 8 | *low);
        if (word > kLargestWord)
            return false;
        values[i] = word;
        sum += *low + *high;
    }
    const auto checksum = hexField(line, 9 + 4 * words, 2);
    if (!checksum || (sum + *checksum) % 256 != 0)
        return false;

    std::copy_n(values.begin(), words, image.begin() + static_cast<std::ptrdiff_t>(first));
    return true;
}

bool parseHexFile(const char* path, ImageSpan image)
{
    const File in = openFile(path, "rb");
    return in && parseIntelHex(in.get(), image);
}

bool writeImageFile(const char* path, const Image& image)
{
    std::array<unsigned char, kImageBytes> bytes;
    for (std::size_t i = 0; i < kImageWords; ++i) {
        bytes[2 * i] = static_cast<unsigned char>(image[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(image[i] >> 8);
    }
    std::FILE* out = path ? std::fopen(path, "wb") : nullptr;
    if (!out)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::remove(path); // no truncated image left behind
        return false;
    }
    return true;
}

} // namespace

bool parseIntelHex(std::FILE* in, ImageSpan image)
{
    LineReader lines(in);
    for (;;) {
        switch (lines.next()) {
        case LineReader::Result::End:
        case LineReader::Result::TooLong:
            return false;
        case LineReader::Result::Line:
            break;
        }
        const std::string_view line = lines.text();
        if (line.empty() || line.front() != ':')
            continue;
        if (line == kEndLine)
            return true;
        if (!storeRecord(line, image))
            return false;
    }
}

void applyWordKey(std::span<std::uint16_t> image, int keyLength, const std::uint16_t* key)
{
    if (keyLength <= 0 || !key)
        return;
    const auto k = static_cast<std::size_t>(keyLength);
    for (std::size_t j = 0; j < image.size(); ++j)
        image[j] ^= key[j % k];
}

} // namespace quorvel

using namespace quorvel;

extern "C" int ORBA_HexToBinFile(const char* hexPath, const char* imagePath, int keyLength,
                                 const std::uint16_t* key)
{
    return platform::guarded(0, [&]() -> int {
        Image image;
        image.fill(kErasedWord);
        if (!imagePath || !parseHexFile(hexPath, image))
            return 0;
        applyWordKey(image, keyLength, key);
        return writeImageFile(imagePath, image) ? 1 : 0;
    });
}

extern "C" int ORBA_HexToBinArray(const char* hexPath, std::uint16_t* image)
{
    return platform::guarded(0, [&]() -> int {
        Image parsed{};
        if (!image || !parseHexFile(hexPath, parsed))
            return 0;
        std::copy(parsed.begin(), parsed.end(), image);
        return 1;
    });
}

extern "C" int ORBA_BinFileToBinArray(const char* imagePath, std::uint16_t* image, int keyLength,
                                      const std::uint16_t* key)
{
    return platform::guarded(0, [&]() -> int {
        const File in = openFile(imagePath, "rb");
        if (!in || !image)
            return 0;
        std::array<unsigned char, kImageBytes> bytes;
        if (std::fread(bytes.data(), 1, bytes.size(), in.get()) != bytes.size())
            return 0; // a cut image must not be programmed as if it were whole
        for (std::size_t i = 0; i < kImageWords; ++i)
            image[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        return ORBA_DecryptBinArray(image, keyLength, key);
    });
}

extern "C" int ORBA_DecryptBinArray(std::uint16_t* image, int keyLength, const std::uint16_t* key)
{
    return platform::guarded(0, [&]() -> int {
        if (!image)
            return 0;
        const std::span<std::uint16_t> words(image, kImageWords);
        applyWordKey(words, keyLength, key);
        std::replace(words.begin(), words.end(), kErasedWord, std::uint16_t{0});
        return 1;
    });
}
