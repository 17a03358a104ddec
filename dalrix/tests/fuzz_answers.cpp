// The second make's answers from arbitrary bytes: the cutter that finds
// frames in a stream of answers (the stream inventory), the single-answer
// test, the CRC check and field split, and the unpacking of every command's
// answer data into outputs of exactly the documented sizes.
//
// Input: [options][state][count][bytes the reader sends...]
//   options bit 0: CRC check off (so that frames reach the unpacking)
//   state, count: the tag commands' state byte and block count
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "answer_unpack.h"
#include "dalrix.h"
#include "frame_codec.h"

using dalrix::Answer;
using dalrix::TDalrix1;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Outputs of exactly the sizes the header documents.
class Outputs {
public:
    std::uint8_t* operator()(std::size_t size)
    {
        buffers_.push_back(std::make_unique<std::uint8_t[]>(size == 0 ? 1 : size));
        return buffers_.back().get();
    }

private:
    std::vector<std::unique_ptr<std::uint8_t[]>> buffers_;
};

void unpackAll(const Answer& answer, std::uint8_t state, std::uint8_t count)
{
    Outputs out;
    const std::span<const std::uint8_t> data = answer.data;
    const int codes[] = {
        dalrix::unpackByte(data, out(1)),
        dalrix::unpackReaderInformation(answer, out(1), out(2), out(1), out(2), out(1)),
        dalrix::unpackSingleBlock(data, state, out(1), out(dalrix::readBlockSize(state))),
        dalrix::unpackMultipleBlocks(data, state, count, out(count), out(count * dalrix::readBlockSize(state))),
        dalrix::unpackSystemInformation(data, out(1), out(dalrix::kUidSize), out(1), out(1), out(2), out(1)),
    };
    for (const int code : codes)
        check(code == 0 || code == DRV_LENGTH_ERROR);
    // Raw answer data: the largest possible answer.
    check(data.size() <= 251);
    dalrix::copyAll(data, out(251));
}

void checked(std::span<const std::uint8_t> frame, std::uint8_t state, std::uint8_t count)
{
    const std::optional<Answer> answer = TDalrix1::checkAnswer(frame);
    if (!answer)
        return;
    const std::size_t head = answer->status == dalrix::kStatusErrorCode && frame.size() > 5 ? 4 : 3;
    check(answer->data.size() == frame.size() - head - 2);
    check(answer->status != dalrix::kStatusErrorCode || frame.size() > 5 || answer->errorCode == 0);
    unpackAll(*answer, state, count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size < 3)
        return 0;
    TDalrix1::setCrcCheck((input[0] & 1) == 0);
    const std::uint8_t state = input[1];
    const std::uint8_t count = input[2];
    const std::vector<std::uint8_t> bytes(input + 3, input + size);

    // A single answer: the whole reply is one frame or nothing.
    if (TDalrix1::isCompleteAnswer(bytes))
        checked(bytes, state, count);

    // A stream of answers, cut frame by frame from the front.
    std::span<const std::uint8_t> rest = bytes;
    while (const std::size_t length = TDalrix1::completeFrontFrame(rest)) {
        // A length byte below 4 cuts a piece too short to be a frame: it
        // fails the check and the stream goes on after it.
        check(length <= dalrix::kMaxFrameSize && length <= rest.size());
        const auto frame = rest.first(length);
        check(TDalrix1::isCompleteAnswer(frame) == (length >= dalrix::kMinFrameSize));
        checked(frame, state, count);
        rest = rest.subspan(length);
    }
    return 0;
}
