// Arbitrary tag memory for the data model codec: the first two input bytes
// pick the AFI and the DSFID (0xFF: unknown), the rest is the memory. The
// codec must stay inside the memory and give NUL-terminated UTF-8 texts, at
// most BRN_DM_MAX_ELEMENTS elements and a model it names.
#include <cstdint>
#include <cstring>

#include "brenholt_datamodel.h"
#include "datamodel.h"

namespace {

void checkText(const char* text, std::size_t size)
{
    const std::size_t n = strnlen(text, size);
    if (n == size)
        __builtin_trap();
    const std::string copy(text, n);
    if (brenholt::datamodel::decompact(BRN_DM_COMPACTION_UTF8, 0,
                                       {reinterpret_cast<const std::uint8_t*>(copy.data()), copy.size()})
            .hex)
        __builtin_trap();
}

int pick(std::uint8_t b) { return b == 0xFF ? BRN_DM_BYTE_UNKNOWN : b; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 + BRN_DM_MIN_MEMORY)
        return 0;
    brnDataModelInfo info;
    brenholt::datamodel::classify({data + 2, size - 2}, pick(data[0]), pick(data[1]), info);
    if (info.model < BRN_DM_MODEL_UNKNOWN || info.model > BRN_DM_MODEL_ISO28560_2 ||
        info.elementCount > BRN_DM_MAX_ELEMENTS)
        __builtin_trap();
    checkText(info.itemId, sizeof info.itemId);
    checkText(info.owner, sizeof info.owner);
    for (std::uint32_t i = 0; i < info.elementCount; ++i) {
        const brnDataElement& e = info.elements[i];
        if (e.offset + e.length > size - 2)
            __builtin_trap();
        checkText(e.text, sizeof e.text);
    }
    return 0;
}
