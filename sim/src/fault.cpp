#include "sim/fault.h"

#include <charconv>
#include <sstream>

#include "sim/iso15693.h"

namespace sim {

namespace {

struct KindName {
    FaultKind kind;
    std::string_view name;
};

constexpr KindName kKinds[] = {
    {FaultKind::Silence, "silence"}, {FaultKind::WrongCrc, "crc"},     {FaultKind::Noise, "noise"},
    {FaultKind::CutShort, "cut"},    {FaultKind::Status, "status"},    {FaultKind::Delay, "delay"},
    {FaultKind::TagsLeave, "leave"}, {FaultKind::LineClose, "close"},
};

std::vector<std::string> words(std::string_view text)
{
    std::istringstream in{std::string(text)};
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

template <typename T>
bool number(std::string_view text, T& value, int base = 10)
{
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool fail(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return false;
}

} // namespace

std::string_view faultKindName(FaultKind kind)
{
    for (const auto& k : kKinds)
        if (k.kind == kind)
            return k.name;
    return "?";
}

namespace {

// The kind's own argument from w[i] on (status byte, delay, noise bytes,
// reopening time); i moves past it. False when a required one is missing.
bool takeKindArgument(const std::vector<std::string>& w, std::size_t& i, Fault& fault, std::string* error)
{
    switch (fault.kind) {
    case FaultKind::Status:
        if (i >= w.size() || !number(w[i], fault.status, 16))
            return fail(error, "status needs a hex byte");
        ++i;
        break;
    case FaultKind::Delay:
        if (i >= w.size() || !number(w[i], fault.delayMs))
            return fail(error, "delay needs milliseconds");
        ++i;
        break;
    case FaultKind::Noise:
        for (std::uint8_t b; i < w.size() && w[i].find('=') == std::string::npos && number(w[i], b, 16); ++i)
            fault.noise.push_back(b);
        break;
    case FaultKind::LineClose:
        if (i < w.size() && w[i] == "stay") {
            fault.reopenMs = -1;
            ++i;
        } else if (i < w.size() && number(w[i], fault.reopenMs)) {
            ++i;
        }
        break;
    default:
        break;
    }
    return true;
}

// One option every kind takes: permanent, count=N, skip=N, code=HH, frame=N.
bool takeOption(const std::string& opt, Fault& fault)
{
    const auto eq = opt.find('=');
    const std::string key = opt.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : opt.substr(eq + 1);
    if (opt == "permanent") {
        fault.count = Fault::kPermanent;
        return true;
    }
    if (key == "count")
        return number(value, fault.count) && fault.count > 0;
    if (key == "skip")
        return number(value, fault.skip) && fault.skip >= 0;
    if (key == "code")
        return number(value, fault.commandCode, 16) && fault.commandCode >= 0;
    if (key == "frame")
        return number(value, fault.frame) && fault.frame >= 0;
    return false;
}

} // namespace

std::optional<Fault> parseFault(std::string_view text, std::string* error)
{
    const auto w = words(text);
    if (w.empty()) {
        fail(error, "fault kind missing");
        return std::nullopt;
    }
    Fault fault;
    bool known = false;
    for (const auto& k : kKinds)
        if (w[0] == k.name) {
            fault.kind = k.kind;
            known = true;
        }
    if (!known) {
        fail(error, "unknown fault \"" + w[0] + "\" (silence, crc, noise, cut, status, delay, leave, close)");
        return std::nullopt;
    }
    std::size_t i = 1;
    if (!takeKindArgument(w, i, fault, error))
        return std::nullopt;
    for (; i < w.size(); ++i)
        if (!takeOption(w[i], fault)) {
            fail(error, "bad fault option \"" + w[i] + "\" (count=N, permanent, skip=N, code=HH, frame=N)");
            return std::nullopt;
        }
    return fault;
}

std::string describeFault(const Fault& fault)
{
    std::string text(faultKindName(fault.kind));
    char buf[32];
    switch (fault.kind) {
    case FaultKind::Status:
        std::snprintf(buf, sizeof buf, " %02X", fault.status);
        text += buf;
        break;
    case FaultKind::Delay:
        text += " " + std::to_string(fault.delayMs);
        break;
    case FaultKind::Noise:
        if (!fault.noise.empty())
            text += " " + hexBytes(fault.noise);
        break;
    case FaultKind::LineClose:
        text += fault.reopenMs < 0 ? " stay" : " " + std::to_string(fault.reopenMs);
        break;
    default:
        break;
    }
    text += fault.count == Fault::kPermanent ? " permanent" : " count=" + std::to_string(fault.count);
    if (fault.skip)
        text += " skip=" + std::to_string(fault.skip);
    if (fault.commandCode >= 0) {
        std::snprintf(buf, sizeof buf, " code=%02X", fault.commandCode);
        text += buf;
    }
    if (fault.frame >= 0)
        text += " frame=" + std::to_string(fault.frame);
    return text;
}

} // namespace sim
