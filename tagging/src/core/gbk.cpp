#include "gbk.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace {

// One conversion descriptor for the calling thread's lifetime.
class GbkDecoder {
public:
    GbkDecoder() : m_cd(iconv_open("UTF-8", "GBK")) {}
    ~GbkDecoder()
    {
        if (valid())
            iconv_close(m_cd);
    }
    GbkDecoder(const GbkDecoder&) = delete;
    GbkDecoder& operator=(const GbkDecoder&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    std::string toUtf8(std::string_view in)
    {
        std::string out;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);   // initial state
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buffer[256];
        while (srcLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc != static_cast<std::size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // An invalid or cut-off sequence: replace one byte and go on.
            out.append("\xEF\xBF\xBD");
            ++src;
            --srcLeft;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t m_cd;
};

} // namespace

QString fromGbk(std::string_view bytes)
{
    thread_local GbkDecoder decoder;
    if (!decoder.valid())
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const std::string utf8 = decoder.toUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
