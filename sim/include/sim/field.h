// The RF field of one simulated reader: the tags lying on its antenna and the
// air between them and the reader.
//
// Every request goes to every tag in the field (they all hear it); what the
// reader gets back is silence, one answer, or a collision when tags answer
// with different bytes at once (tags answering the very same bytes, as two
// tags acknowledging one non-addressed write, superpose cleanly). While the RF
// field is off the tags are powered off and nothing answers; switching it off
// loses every tag's quiet or selected state.
//
// The field counts each request by ISO command code and adds up the air time
// of every exchange (AirTiming), which its reader reports per command.
//
// Not thread-safe: the field belongs to a Reader and is used under its lock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/iso15693.h"
#include "sim/tag.h"

namespace sim {

class Field {
public:
    struct Reply {
        enum class Kind { Silence, Answer, Collision };
        Kind kind = Kind::Silence;
        std::vector<std::uint8_t> bytes; // the answer (Kind::Answer only)
        int answers = 0;                 // how many tags answered
        bool silent() const { return kind == Kind::Silence; }
        bool answered() const { return kind == Kind::Answer; }
        bool collided() const { return kind == Kind::Collision; }
    };

    struct Found {
        std::uint8_t dsfid = 0;
        Uid uid{};
    };

    bool rfOn() const { return rfOn_; }
    // Switching the field off powers every tag off; switching it on powers them up (ready).
    void setRf(bool on);

    // Lays a tag on the antenna (it powers up when the field is on). False when
    // a tag with the same UID is already there.
    bool place(Tag tag);
    // Takes a tag off the antenna; it keeps its memory but loses its state.
    std::optional<Tag> remove(const Uid& uid);
    std::vector<Tag> removeAll();
    Tag* find(const Uid& uid);
    const Tag* find(const Uid& uid) const;
    const std::vector<Tag>& tags() const { return tags_; }
    std::size_t size() const { return tags_.size(); }

    // One request on the air (see Tag::air); an empty request is an
    // end-of-frame slot pulse. With the RF field off nothing is sent (and
    // nothing counted): silence.
    Reply transact(std::span<const std::uint8_t> request);

    // A complete inventory as a reader runs it: 16-slot rounds with growing
    // masks after collisions (or single-slot rounds with one more mask bit
    // when flags carry iso::kFlagOneSlot), every round through transact().
    // flags: request flags besides inventory and AFI (e.g. kFlagHighDataRate).
    // The first round carries the given mask (the low maskLength bits of
    // mask, as iso::inventoryRequest takes them), so only tags whose UID ends
    // in those bits take part. Returns every tag found, in the order found.
    std::vector<Found> inventory(std::uint8_t flags, std::optional<std::uint8_t> afi = std::nullopt,
                                 unsigned maskLength = 0, std::uint64_t mask = 0);

    // Counters: requests by ISO command code (end-of-frame pulses are not
    // counted), and the air time spent since the last takeAirTimeNs().
    std::uint64_t requestCount(std::uint8_t code) const { return counts_[code]; }
    std::uint64_t takeAirTimeNs();
    void resetCounters();
    void setAirTiming(const iso::AirTiming& timing) { timing_ = timing; }
    const iso::AirTiming& airTiming() const { return timing_; }

    // Fault support: once armed, the next exchange in which a tag answers is
    // the last one; right after it every tag leaves the field (collected by
    // takeDeparted()). disarmDeparture() cancels a departure that did not happen.
    void armDeparture() { departureArmed_ = true; }
    void disarmDeparture() { departureArmed_ = false; }
    std::vector<Tag> takeDeparted();

private:
    std::vector<Tag> tags_;
    std::vector<Tag> departed_;
    bool rfOn_ = true;
    bool departureArmed_ = false;
    std::array<std::uint64_t, 256> counts_{};
    std::uint64_t airNs_ = 0;
    iso::AirTiming timing_;
};

} // namespace sim
