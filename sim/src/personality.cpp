#include "sim/personality.h"

#include <algorithm>
#include <cctype>

#include "sim/iso15693.h"

namespace sim {

bool Personality::corruptCrc(std::vector<std::uint8_t>& frame) const
{
    if (frame.empty())
        return false;
    frame.back() = static_cast<std::uint8_t>(~frame.back());
    return true;
}

std::string Personality::describe(std::span<const std::uint8_t> frame) const
{
    return hexBytes(frame);
}

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// Built on first use, so registrations from any file's static initialisers find it.
std::map<std::string, PersonalityInfo>& registry()
{
    static std::map<std::string, PersonalityInfo> families;
    return families;
}

} // namespace

bool registerPersonality(PersonalityInfo info)
{
    const std::string key = lower(info.name);
    return registry().emplace(key, std::move(info)).second;
}

const PersonalityInfo* findPersonality(std::string_view name)
{
    const auto it = registry().find(lower(name));
    return it == registry().end() ? nullptr : &it->second;
}

std::vector<const PersonalityInfo*> personalities()
{
    std::vector<const PersonalityInfo*> out;
    for (const auto& [key, info] : registry())
        out.push_back(&info);
    return out;
}

} // namespace sim
