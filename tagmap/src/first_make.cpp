#include "first_make.h"

#include <strings.h>

#include <climits>
#include <cstdint>

#include "quorvel.h"
#include "second_make.h"

namespace brenholt {

brnHandle handleOfLink(std::int32_t link)
{
    return reinterpret_cast<brnHandle>(static_cast<std::intptr_t>(link));
}

std::int32_t linkOf(brnHandle handle)
{
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(handle));
}

bool isLinkHandle(brnHandle handle)
{
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(handle);
    return value > 0 && value <= INT32_MAX && !isSecondMakeReader(handle);
}

SpeedScan scanSpeeds(std::int32_t port)
{
    SpeedScan scan;
    for (const std::int32_t baud : {115200, 57600, 38400, 19200, 9600, 4800}) {
        const std::int32_t link = QVL_SerialOpen(port, baud);
        if (link == -1)
            continue;
        scan.portOpened = true;
        char text[256] = {};
        std::uint8_t first = 0, second = 0, status = 0;
        const std::int32_t result = QVL_IdentifyReaderOnNetwork(link, text, &first, &second, &status);
        if (commandOutcome(result, status).ok) {
            scan.found = true;
            scan.link = link;
            scan.identification = text;
            return scan;
        }
        QVL_Close(link);
        scan.lastResult = result;
        scan.lastStatus = status;
    }
    return scan;
}

std::int32_t familyOfIdentification(const std::string& text)
{
    static const struct {
        const char* text;
        std::int32_t family;
    } models[] = {
        {"MK-E1", BRN_FAMILY_TALU}, {"MK-D1", BRN_FAMILY_TALU},    {"MK-C1", BRN_FAMILY_ORBA},
        {"MK-B1", BRN_FAMILY_ORBA}, {"MK-B1-G1", BRN_FAMILY_ORBA}, {"MK-A1", BRN_FAMILY_FENO},
    };
    for (const auto& m : models)
        if (text == m.text)
            return m.family;
    // This one model is known by any case.
    if (::strcasecmp(text.c_str(), "MK-G1") == 0)
        return BRN_FAMILY_ORBA;
    return 0;
}

} // namespace brenholt
