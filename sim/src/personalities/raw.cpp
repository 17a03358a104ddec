// The diagnostic "raw" family (see sim/raw.h): ISO 15693 air requests in a
// length-prefixed frame with an exclusive-or check.
#include "sim/raw.h"

#include <memory>
#include <string_view>

#include "sim/field.h"
#include "sim/personality.h"

namespace sim::raw {

namespace {

std::uint8_t check(std::span<const std::uint8_t> bytes)
{
    std::uint8_t x = 0;
    for (std::uint8_t b : bytes)
        x ^= b;
    return x;
}

std::vector<std::uint8_t> answer(std::uint8_t command, std::uint8_t status, std::span<const std::uint8_t> data = {})
{
    std::vector<std::uint8_t> payload{status};
    payload.insert(payload.end(), data.begin(), data.end());
    return frame(command, payload);
}

class RawReader final : public Personality {
public:
    Cut cut(std::span<const std::uint8_t> pending) const override
    {
        const std::size_t length = pending[0];
        if (length < 2)
            return Cut::skip();
        if (pending.size() < length + 1)
            return Cut::needMore();
        // A wrong check means we are not at a frame start: resynchronise.
        if (check(pending.first(length)) != pending[length])
            return Cut::skip();
        return Cut::frame(length + 1);
    }

    int commandCode(std::span<const std::uint8_t> frame) const override { return frame.size() > 1 ? frame[1] : -1; }

    void handle(std::span<const std::uint8_t> request, Context& ctx) override
    {
        const std::uint8_t command = request[1];
        const auto payload = request.subspan(2, request.size() - 3);
        Field& field = ctx.field();
        switch (command) {
        case kAir:
        case kSlot: {
            if (command == kAir && payload.empty())
                break;
            if (!field.rfOn()) {
                ctx.send(answer(command, kRfIsOff));
                return;
            }
            const Field::Reply reply = field.transact(command == kSlot ? std::span<const std::uint8_t>{} : payload);
            if (reply.answered())
                ctx.send(answer(command, kOk, reply.bytes));
            else
                ctx.send(answer(command, reply.collided() ? kCollision : kNoAnswer));
            return;
        }
        case kRfOff:
        case kRfOn:
            field.setRf(command == kRfOn);
            ctx.send(answer(command, kOk));
            return;
        case kInventory: {
            if (payload.empty() || payload.size() > 2)
                break;
            if (!field.rfOn()) {
                ctx.send(answer(command, kRfIsOff));
                return;
            }
            std::optional<std::uint8_t> afi;
            if (payload.size() == 2)
                afi = payload[1];
            const auto found = field.inventory(payload[0], afi);
            std::vector<std::uint8_t> data{static_cast<std::uint8_t>(found.size())};
            for (const auto& tag : found) {
                if (data.size() + 9 > 252)
                    break;
                data.push_back(tag.dsfid);
                const auto air = uidToAir(tag.uid);
                data.insert(data.end(), air.begin(), air.end());
            }
            data[0] = static_cast<std::uint8_t>((data.size() - 1) / 9);
            ctx.send(answer(command, kOk, data));
            return;
        }
        case kIdentify: {
            static constexpr std::string_view kText = "RAW DIAGNOSTIC READER";
            ctx.send(answer(command, kOk,
                            std::span(reinterpret_cast<const std::uint8_t*>(kText.data()), kText.size())));
            return;
        }
        default:
            break;
        }
        ctx.send(answer(command, kBadCommand));
    }

    std::optional<std::vector<std::uint8_t>> statusAnswer(std::span<const std::uint8_t> request,
                                                          std::uint8_t status) const override
    {
        return answer(request[1], status);
    }
};

} // namespace

std::vector<std::uint8_t> frame(std::uint8_t command, std::span<const std::uint8_t> payload)
{
    if (payload.size() > 253)
        payload = payload.first(253);
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(payload.size() + 2), command};
    out.insert(out.end(), payload.begin(), payload.end());
    out.push_back(check(out));
    return out;
}

std::optional<Answer> parse(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 4 || bytes[0] < 3 || bytes.size() != std::size_t{bytes[0]} + 1 ||
        check(bytes.first(bytes.size() - 1)) != bytes.back())
        return std::nullopt;
    Answer a;
    a.command = bytes[1];
    a.status = bytes[2];
    a.data.assign(bytes.begin() + 3, bytes.end() - 1);
    return a;
}

} // namespace sim::raw

SIM_REGISTER_PERSONALITY(raw, "diagnostic reader: ISO 15693 air requests in length-prefixed frames (not a product)",
                         sim::raw::kDefaultBaud,
                         [](const sim::PersonalityOptions&) { return std::make_unique<sim::raw::RawReader>(); })
