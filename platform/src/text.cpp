#include "platform/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace platform {
namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

// The calling thread's conversion from GBK, kept open for its codeset.
class GbkConversion {
public:
    GbkConversion() = default;
    ~GbkConversion() { reset(); }
    GbkConversion(const GbkConversion&) = delete;
    GbkConversion& operator=(const GbkConversion&) = delete;

    // The descriptor for codeset to, opened anew when the codeset changed;
    // kNoConversion when iconv has none.
    iconv_t to(const char* codeset)
    {
        if (m_cd == kNoConversion || m_codeset != codeset) {
            reset();
            m_cd = iconv_open(codeset, "GBK");
            m_codeset = codeset;
        }
        return m_cd;
    }

private:
    void reset()
    {
        if (m_cd != kNoConversion)
            iconv_close(m_cd);
        m_cd = kNoConversion;
    }

    iconv_t m_cd = kNoConversion;
    std::string m_codeset;
};

} // namespace

std::optional<std::string> gbkTo(std::string_view gbk, const char* to, std::string_view replacement)
{
    thread_local GbkConversion conversion;
    const iconv_t cd = conversion.to(to);
    if (cd == kNoConversion)
        return std::nullopt;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);   // the initial state
    std::string out;
    char* src = const_cast<char*>(gbk.data());
    std::size_t srcLeft = gbk.size();
    char buffer[256];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: replace one byte and go on.
        out.append(replacement);
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

} // namespace platform
