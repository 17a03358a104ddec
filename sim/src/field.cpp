#include "sim/field.h"

#include <algorithm>
#include <utility>

namespace sim {

void Field::setRf(bool on)
{
    rfOn_ = on;
    for (Tag& tag : tags_) {
        if (on)
            tag.powerOn();
        else
            tag.powerOff();
    }
}

bool Field::place(Tag tag)
{
    if (find(tag.uid()))
        return false;
    tag.powerOff(); // whatever state it had elsewhere is gone
    if (rfOn_)
        tag.powerOn();
    tags_.push_back(std::move(tag));
    return true;
}

std::optional<Tag> Field::remove(const Uid& uid)
{
    const auto it = std::find_if(tags_.begin(), tags_.end(), [&](const Tag& t) { return t.uid() == uid; });
    if (it == tags_.end())
        return std::nullopt;
    Tag tag = std::move(*it);
    tags_.erase(it);
    tag.powerOff();
    return tag;
}

std::vector<Tag> Field::removeAll()
{
    std::vector<Tag> out = std::move(tags_);
    tags_.clear();
    for (Tag& tag : out)
        tag.powerOff();
    return out;
}

Tag* Field::find(const Uid& uid)
{
    const auto it = std::find_if(tags_.begin(), tags_.end(), [&](const Tag& t) { return t.uid() == uid; });
    return it == tags_.end() ? nullptr : &*it;
}

const Tag* Field::find(const Uid& uid) const
{
    return const_cast<Field*>(this)->find(uid);
}

Field::Reply Field::transact(std::span<const std::uint8_t> request)
{
    Reply reply;
    if (!rfOn_)
        return reply; // no carrier: nothing goes on the air
    if (request.size() >= 2)
        ++counts_[request[1]];
    std::size_t longest = 0;
    for (Tag& tag : tags_) {
        auto answer = tag.air(request);
        if (!answer)
            continue;
        longest = std::max(longest, answer->size());
        if (reply.answers == 0) {
            reply.kind = Reply::Kind::Answer;
            reply.bytes = std::move(*answer);
        } else if (reply.kind == Reply::Kind::Answer && *answer != reply.bytes) {
            reply.kind = Reply::Kind::Collision;
            reply.bytes.clear();
        }
        ++reply.answers;
    }
    airNs_ += iso::exchangeNs(timing_, request, reply.answers ? static_cast<int>(longest) : -1);
    if (departureArmed_ && reply.answers > 0) {
        departureArmed_ = false;
        for (Tag& tag : tags_) {
            tag.powerOff();
            departed_.push_back(std::move(tag));
        }
        tags_.clear();
    }
    return reply;
}

std::vector<Field::Found> Field::inventory(std::uint8_t flags, std::optional<std::uint8_t> afi, unsigned maskLength,
                                           std::uint64_t mask)
{
    std::vector<Found> found;
    const auto take = [&](const Reply& reply) {
        if (!reply.answered() || reply.bytes.size() != 10 || reply.bytes[0] != 0)
            return;
        Found f{reply.bytes[1], uidFromAir(std::span(reply.bytes).subspan(2))};
        if (std::none_of(found.begin(), found.end(), [&](const Found& g) { return g.uid == f.uid; }))
            found.push_back(f);
    };
    struct Round {
        unsigned maskLength;
        std::uint64_t mask;
    };
    maskLength = std::min(maskLength, 64u);
    if (maskLength < 64)
        mask &= (std::uint64_t{1} << maskLength) - 1;
    std::vector<Round> rounds{{maskLength, mask}};
    const bool oneSlot = flags & iso::kFlagOneSlot;
    while (!rounds.empty()) {
        const Round round = rounds.back();
        rounds.pop_back();
        const auto request = iso::inventoryRequest(flags, afi, round.maskLength, round.mask);
        if (oneSlot) {
            const Reply reply = transact(request);
            take(reply);
            if (reply.collided() && round.maskLength < 64) {
                rounds.push_back({round.maskLength + 1, round.mask | std::uint64_t{1} << round.maskLength});
                rounds.push_back({round.maskLength + 1, round.mask});
            }
            continue;
        }
        std::vector<Round> collided;
        for (unsigned slot = 0; slot < 16; ++slot) {
            const Reply reply = slot == 0 ? transact(request) : transact({});
            take(reply);
            if (reply.collided() && round.maskLength + 4 <= 60)
                collided.push_back({round.maskLength + 4, round.mask | std::uint64_t{slot} << round.maskLength});
        }
        rounds.insert(rounds.end(), collided.rbegin(), collided.rend());
    }
    return found;
}

std::uint64_t Field::takeAirTimeNs()
{
    return std::exchange(airNs_, 0);
}

void Field::resetCounters()
{
    counts_.fill(0);
    airNs_ = 0;
}

std::vector<Tag> Field::takeDeparted()
{
    std::vector<Tag> out = std::move(departed_);
    departed_.clear();
    return out;
}

} // namespace sim
