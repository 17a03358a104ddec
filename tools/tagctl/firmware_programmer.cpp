#include "firmware_programmer.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

namespace tagctl::firmware {

namespace {

constexpr std::uint16_t kErasedWord = 0x3FFF;
constexpr std::size_t kConfigWords = 8;

bool isConfigWord(std::size_t index) { return index <= 3 || index == kConfigWordAddress - kConfigBase; }

class Programmer {
public:
    Programmer(std::int32_t handle, const Image& image, const Progress& progress)
        : h_(handle), image_(image), progress_(progress), total_(countWords(image).total())
    {
    }

    Result run()
    {
        result_.ok = call("ORBA_EraseCodeProtectedMemory", ORBA_EraseCodeProtectedMemory(h_), 0) &&
                     session([&] { return programMemory(); }) && session([&] { return dataMemory(); }) &&
                     session([&] { return configMemory(); });
        return result_;
    }

private:
    bool call(const char* name, int returned, std::size_t address)
    {
        if (returned == 1)
            return true;
        result_.call = name;
        result_.address = static_cast<std::uint32_t>(address);
        return false;
    }

    template <typename Body>
    bool session(Body body)
    {
        if (!call("ORBA_InitORBA2Programming", ORBA_InitORBA2Programming(h_), 0))
            return false;
        const bool ok = body();
        ORBA_EndORBA2Programming(h_);
        return ok;
    }

    // Walks the address counter over count addresses from base, visiting
    // each set word, and stops at the last one.
    template <typename Visit>
    bool walk(std::size_t base, std::size_t count, Visit visit)
    {
        std::size_t last = count;
        for (std::size_t a = 0; a < count; ++a)
            if (image_[base + a] != kUnset)
                last = a;
        for (std::size_t a = 0; a < count && last < count; ++a) {
            if (image_[base + a] != kUnset && !visit(base + a))
                return false;
            if (a == last)
                break;
            if (!call("ORBA_IncrementAddress", ORBA_IncrementAddress(h_), base + a))
                return false;
        }
        return true;
    }

    // Reads the word back and compares it; counts it as done.
    bool verify(const char* name, int (*read)(std::int32_t, std::uint16_t*), std::size_t address,
                std::uint16_t expected)
    {
        std::uint16_t got = 0;
        if (!call(name, read(h_, &got), address))
            return false;
        if (got != expected) {
            result_.call = name;
            result_.address = static_cast<std::uint32_t>(address);
            result_.mismatch = true;
            result_.expected = expected;
            result_.got = got;
            return false;
        }
        ++result_.written;
        if (progress_)
            progress_(result_.written, total_);
        return true;
    }

    // After the erase every word holds 0x3FFF: a programming-only cycle
    // suffices, and erased words need none.
    bool programMemory()
    {
        return walk(0, kProgramWords, [&](std::size_t a) {
            if (image_[a] != kErasedWord &&
                !(call("ORBA_LoadDataToProgram", ORBA_LoadDataToProgram(h_, image_[a]), a) &&
                  call("ORBA_BeginProgrammingOnlyCycle", ORBA_BeginProgrammingOnlyCycle(h_), a)))
                return false;
            return verify("ORBA_ReadDataFromProgram", ORBA_ReadDataFromProgram, a, image_[a]);
        });
    }

    // Data memory holds bytes, addressed by the low 8 bits of the address counter.
    bool dataMemory()
    {
        return walk(kDataBase, kDataBytes, [&](std::size_t a) {
            return call("ORBA_LoadDataToData", ORBA_LoadDataToData(h_, image_[a]), a) &&
                   call("ORBA_BeginEraseProgrammingCycle", ORBA_BeginEraseProgrammingCycle(h_), a) &&
                   verify("ORBA_ReadDataFromData", ORBA_ReadDataFromData, a, image_[a] & 0xFF);
        });
    }

    // Load configuration moves the counter to 0x2000 with the first word latched.
    bool configMemory()
    {
        if (countWords(image_).config == 0)
            return true;
        const std::uint16_t first = image_[kConfigBase] == kUnset ? kErasedWord : image_[kConfigBase];
        if (!call("ORBA_LoadConfiguration", ORBA_LoadConfiguration(h_, first), kConfigBase))
            return false;
        for (std::size_t i = 0; i < kConfigWords; ++i) {
            const std::size_t a = kConfigBase + i;
            if (i > 0 && !call("ORBA_IncrementAddress", ORBA_IncrementAddress(h_), a - 1))
                return false;
            if (!isConfigWord(i) || image_[a] == kUnset)
                continue;
            if (i > 0 && !call("ORBA_LoadDataToProgram", ORBA_LoadDataToProgram(h_, image_[a]), a))
                return false;
            if (!call("ORBA_BeginEraseProgrammingCycle", ORBA_BeginEraseProgrammingCycle(h_), a) ||
                !verify("ORBA_ReadDataFromProgram", ORBA_ReadDataFromProgram, a, image_[a]))
                return false;
        }
        return true;
    }

    std::int32_t h_;
    const Image& image_;
    const Progress& progress_;
    std::size_t total_;
    Result result_;
};

} // namespace

bool loadHex(const std::string& hexPath, Image& image)
{
    const std::filesystem::path temporary = std::filesystem::temp_directory_path() / "tagctl-image-XXXXXX";
    std::string name = temporary.string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    ::close(fd);
    // Without a key the image file holds 0xFFFF exactly where the HEX file set nothing.
    const bool parsed = ORBA_HexToBinFile(hexPath.c_str(), name.c_str(), 0, nullptr) == 1;
    std::vector<unsigned char> bytes;
    if (parsed) {
        std::ifstream in(name, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::remove(name.c_str());
    if (bytes.size() != ORBA_IMAGE_FILE_BYTES)
        return false;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return true;
}

Count countWords(const Image& image)
{
    Count count;
    for (std::size_t a = 0; a < kProgramWords; ++a)
        count.program += image[a] != kUnset;
    for (std::size_t a = 0; a < kDataBytes; ++a)
        count.data += image[kDataBase + a] != kUnset;
    for (std::size_t i = 0; i < kConfigWords; ++i)
        count.config += isConfigWord(i) && image[kConfigBase + i] != kUnset;
    return count;
}

Result program(std::int32_t handle, const Image& image, const Progress& progress)
{
    return Programmer(handle, image, progress).run();
}

std::string progressBar(std::size_t done, std::size_t total, std::size_t width)
{
    const std::size_t filled = total == 0 ? width : std::min(done, total) * width / total;
    const std::string counts = std::to_string(done) + "/" + std::to_string(total);
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " +
           std::string(2 * std::to_string(total).size() + 1 - counts.size(), ' ') + counts + " words";
}

} // namespace tagctl::firmware
