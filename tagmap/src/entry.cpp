// The library's entry: version and error texts, opening readers (speed scan,
// identification, the second make as fall-back), closing them, reader
// information, antenna, switching readers, and the process-wide settings.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "brenholt.h"
#include "errors.h"
#include "family.h"
#include "field_ops.h"
#include "first_make.h"
#include "library_state.h"
#include "quorvel.h"
#include "reading.h"
#include "second_make.h"

using namespace brenholt;

namespace {

// The end of every successful open: the handle out, a fresh sorting buffer,
// the family the family-dependent calls dispatch on.
std::int32_t finishOpen(brnHandle handle, std::int32_t family, brnHandle* handleOut, std::int32_t* familyOut)
{
    LibraryState& s = state();
    if (!s.sorting.reset(s.sorting.depth())) {
        brnClose(handle);
        return BRN_ERR_RESOURCES;
    }
    *handleOut = handle;
    *familyOut = family;
    s.family = family;
    ++s.epoch;
    return BRN_OK;
}

std::int32_t openSecondMakeInto(std::int32_t port, brnHandle* handle, std::int32_t* family)
{
    const Opened opened = openSecondMake(port);
    if (opened.code != BRN_OK)
        return opened.code;
    return finishOpen(opened.handle, BRN_FAMILY_DALRIX, handle, family);
}

// The first make: the speed scan, then the family by the identification text.
// An unrecognised reader's link is closed again. fallThrough: when no speed
// brought an answer, open the second make instead (else that is a failure).
std::int32_t openFirstMakeInto(std::int32_t port, bool fallThrough, brnHandle* handle, std::int32_t* family)
{
    const SpeedScan scan = scanSpeeds(port);
    if (!scan.found) {
        if (fallThrough)
            return openSecondMakeInto(port, handle, family);
        if (!scan.portOpened)
            return BRN_ERR_PORT;
        return Outcome::failure(scan.lastResult, scan.lastStatus, BRN_ERR_NO_READER).error();
    }
    const std::int32_t number = familyOfIdentification(scan.identification);
    if (number == 0) {
        QVL_Close(scan.link);
        return BRN_ERR_NO_READER;
    }
    const brnHandle opened = handleOfLink(scan.link);
    if (ReaderFamily* adapter = familyFor(number))
        adapter->setUp(opened);
    return finishOpen(opened, number, handle, family);
}

// A getter of the process-wide settings: the value out, or a parameter
// error for a NULL output.
template <typename T>
std::int32_t giveOut(T* out, T value)
{
    if (!out)
        return BRN_ERR_PARAMETER;
    *out = value;
    return BRN_OK;
}

} // namespace

extern "C" {

void brnGetVersion(brnVersion* version)
{
    platform::guarded([&] {
        if (!version)
            return;
        *version = brnVersion{};
        std::snprintf(version->versionText, sizeof version->versionText, "%s", "Brenholt V1.0.0 .");
        version->major = 1;
        version->minor = 0;
        version->build = 0;
    });
}

const char* brnGetErrorString(int32_t code)
{
    return platform::guarded("", [&] { return errorText(code); });
}

int32_t brnOpenSerial(int32_t port, brnHandle* handle, int32_t* family)
{
    return guarded([&]() -> std::int32_t {
        if (!handle || !family)
            return BRN_ERR_PARAMETER;
        *handle = nullptr;
        state().rfOn = false;
        return openFirstMakeInto(port, true, handle, family);
    });
}

int32_t brnOpenSerialByType(int32_t port, const char* kind, brnHandle* handle, int32_t* family)
{
    return guarded([&]() -> std::int32_t {
        if (!handle || !family)
            return BRN_ERR_PARAMETER;
        if (kind && ::strcasecmp(kind, "KORVEX") == 0) {
            *handle = nullptr;
            state().rfOn = false;
            return openFirstMakeInto(port, false, handle, family);
        }
        if (kind && ::strcasecmp(kind, "DL") == 0) {
            *handle = nullptr;
            state().rfOn = false;
            return openSecondMakeInto(port, handle, family);
        }
        return BRN_ERR_NO_READER;
    });
}

int32_t brnClose(brnHandle handle)
{
    return guarded([&]() -> std::int32_t {
        state().rfOn = false;
        if (!handle)
            return BRN_OK;
        forgetReader(handle);
        if (isSecondMakeReader(handle))
            closeSecondMake(handle);
        else if (isLinkHandle(handle))
            QVL_Close(linkOf(handle));
        return BRN_OK;
    });
}

int32_t brnGetReaderInfo(brnHandle handle, brnReaderInfo* info)
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        if (!info)
            return BRN_ERR_PARAMETER;
        // A second-make reader has no identification text to give.
        if (isSecondMakeReader(handle))
            return BRN_ERR_UNSUPPORTED;
        if (!isLinkHandle(handle))
            return BRN_ERR_HANDLE;
        const std::int32_t link = linkOf(handle);
        // A reader that no longer answers loses its link.
        const auto failed = [link](const Outcome& outcome) {
            QVL_Close(link);
            return outcome.error();
        };
        char text[sizeof info->model] = {};
        std::uint8_t first = 0, second = 0, status = 0;
        const std::int32_t result = QVL_IdentifyReaderOnNetwork(link, text, &first, &second, &status);
        if (const Outcome identified = commandOutcome(result, status); !identified.ok)
            return failed(identified);
        std::memcpy(info->model, text, sizeof info->model);
        info->identByte1 = first;
        info->identByte2 = second;
        if (ReaderFamily* adapter = familyFor(state().family)) {
            std::optional<std::int32_t> bits;
            if (const Outcome outcome = adapter->capabilities(handle, bits); !outcome.ok)
                return failed(outcome);
            if (bits) {
                info->capabilities = *bits;
                info->capabilitiesExt = 0;
            }
        }
        return BRN_OK;
    });
}

int32_t brnReaderConnected(brnHandle handle)
{
    return guarded([&]() -> std::int32_t {
        if (!handle)
            return BRN_ERR_HANDLE;
        return readerLineUp(handle) ? 1 : 0;
    });
}

int32_t brnSelectANT(brnHandle handle, uint8_t antenna)
{
    return guarded([&]() -> std::int32_t {
        if (state().family != BRN_FAMILY_DALRIX)
            return BRN_ERR_READER;
        return selectSecondMakeAntenna(handle, antenna);
    });
}

int32_t brnSwitchReader(brnHandle handle, int32_t family, uint8_t antenna)
{
    return guarded([&]() -> std::int32_t {
        state().currentReader = handle;
        state().family = family;
        ++state().epoch;
        if (antenna != 0 && family == BRN_FAMILY_DALRIX)
            brnSelectANT(handle, antenna);
        return BRN_OK;
    });
}

int32_t brnSetTagsMask(brnHandle, uint32_t mask)
{
    return guarded([&]() -> std::int32_t {
        state().tagsMask = mask;
        return BRN_OK;
    });
}

int32_t brnGetTagsMask(brnHandle, uint32_t* mask)
{
    return guarded([&] { return giveOut(mask, state().tagsMask); });
}

int32_t brnSetChannelsMask(brnHandle, uint32_t mask)
{
    return guarded([&]() -> std::int32_t {
        state().channelsMask = mask;
        return BRN_OK;
    });
}

int32_t brnGetChannelsMask(brnHandle, uint32_t* mask)
{
    return guarded([&] { return giveOut(mask, state().channelsMask); });
}

int32_t brnSetSortingBufferDepth(brnHandle, int32_t depth)
{
    return guarded([&]() -> std::int32_t {
        if (depth < 0)
            return BRN_ERR_PARAMETER;
        if (!state().sorting.reset(depth))
            return BRN_ERR_RESOURCES;
        ++state().epoch;
        return BRN_OK;
    });
}

int32_t brnGetSortingBufferDepth(brnHandle, int32_t* depth)
{
    return guarded([&] { return giveOut(depth, state().sorting.depth()); });
}

int32_t brnSetReadSessionDuration(brnHandle, uint32_t, uint32_t ms)
{
    return guarded([&]() -> std::int32_t {
        state().readSessionMs = ms;
        return BRN_OK;
    });
}

int32_t brnGetReadSessionDuration(brnHandle, uint32_t, uint32_t* ms)
{
    return guarded([&] { return giveOut(ms, state().readSessionMs); });
}

} // extern "C"
