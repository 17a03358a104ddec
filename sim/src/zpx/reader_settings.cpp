#include "zpx/reader_settings.h"

#include <algorithm>
#include <ctime>
#include <string>

namespace sim::zpx {

namespace {

constexpr int kBauds[] = {4800, 9600, 19200, 38400, 57600, 115200};

enum Command : std::uint8_t {
    kSetSpeed = 0x01,
    kSetMode = 0x02,
    kSetAddress = 0x03,
    kGetAddress = 0x04,
    kGetZpxVersion = 0x05,
    kBeep = 0x08,
    kSetClock = 0x09,
    kGetClock = 0x0A,
};

constexpr std::int64_t kSecondsPerDay = 86'400;

// Days since 2000-01-01 of a date in the proleptic Gregorian calendar, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 730'425; // 730425: 2000-01-01 from 0000-03-01
}

void civilFromDays(std::int64_t days, std::int64_t& y, unsigned& m, unsigned& d)
{
    days += 730'425;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned daysInMonth(unsigned year, unsigned month)
{
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool valid(const ReaderClock::Fields& f)
{
    const unsigned year = 2000u + f[0];
    return f[0] <= 99 && f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= daysInMonth(year, f[1]) && f[3] < 24 &&
           f[4] < 60 && f[5] < 60;
}

std::int64_t secondsOf(const ReaderClock::Fields& f)
{
    return daysFromCivil(2000 + f[0], f[1], f[2]) * kSecondsPerDay + f[3] * 3600 + f[4] * 60 + f[5];
}

Answer bad()
{
    return Answer::error(kStatusBadParameter);
}

} // namespace

std::optional<int> baudFromCode(std::uint8_t code)
{
    if (code >= std::size(kBauds))
        return std::nullopt;
    return kBauds[code];
}

ReaderClock::ReaderClock() : setAt_(Clock::now())
{
    const std::time_t now = Clock::calendarNow();
    std::tm local{};
    localtime_r(&now, &local);
    const Fields fields{static_cast<std::uint8_t>((local.tm_year + 1900 - 2000 + 100) % 100),
                        static_cast<std::uint8_t>(local.tm_mon + 1),
                        static_cast<std::uint8_t>(local.tm_mday),
                        static_cast<std::uint8_t>(local.tm_hour),
                        static_cast<std::uint8_t>(local.tm_min),
                        static_cast<std::uint8_t>(std::min(local.tm_sec, 59))};
    if (valid(fields))
        secondsAtSet_ = secondsOf(fields);
}

bool ReaderClock::set(const Fields& fields)
{
    if (!valid(fields))
        return false;
    secondsAtSet_ = secondsOf(fields);
    setAt_ = Clock::now();
    return true;
}

ReaderClock::Fields ReaderClock::now() const
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - setAt_);
    const std::int64_t seconds = secondsAtSet_ + elapsed.count();
    const std::int64_t days = seconds / kSecondsPerDay;
    const std::int64_t rest = seconds % kSecondsPerDay;
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days, year, month, day);
    return {static_cast<std::uint8_t>((year - 2000) % 100), static_cast<std::uint8_t>(month),
            static_cast<std::uint8_t>(day), static_cast<std::uint8_t>(rest / 3600),
            static_cast<std::uint8_t>(rest / 60 % 60), static_cast<std::uint8_t>(rest % 60)};
}

void ReaderSettings::beep(Context& ctx, unsigned durationMs)
{
    ++beeps;
    ctx.log("beep " + std::to_string(durationMs) + " ms");
}

std::optional<Answer> sharedReaderCommand(const Request& request, Context& ctx, ZpxReader& reader,
                                          ReaderSettings& settings)
{
    const auto data = request.data;
    switch (request.command) {
    case kSetSpeed: {
        const auto baud = data.size() == 1 ? baudFromCode(data[0]) : std::nullopt;
        if (!baud)
            return bad();
        ctx.setBaud(*baud);
        return Answer::ok();
    }
    case kSetMode:
        if (data.size() != 1)
            return bad();
        settings.mode = data[0];
        return Answer::ok();
    case kSetAddress:
        if (data.size() != 1)
            return bad();
        reader.setAddress(data[0]);
        return Answer::ok();
    case kGetAddress:
        return data.empty() ? Answer::ok({reader.address()}) : bad();
    case kGetZpxVersion:
        return data.empty() ? Answer::ok({0x02, 0x00}) : bad();
    case kBeep:
        if (data.size() != 2)
            return bad();
        settings.beep(ctx, data[0] * 100u);
        return Answer::ok();
    case kSetClock: {
        ReaderClock::Fields fields{};
        if (data.size() != fields.size())
            return bad();
        std::copy(data.begin(), data.end(), fields.begin());
        return settings.clock.set(fields) ? Answer::ok() : bad();
    }
    case kGetClock: {
        if (!data.empty())
            return bad();
        const auto now = settings.clock.now();
        return Answer::ok({now.begin(), now.end()});
    }
    default:
        return std::nullopt;
    }
}

} // namespace sim::zpx
