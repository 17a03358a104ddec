#include "sim/pic_target.h"

#include <type_traits>
#include <utility>

#include "platform/clock.h"

namespace sim {

namespace {

enum Command : std::uint8_t {
    LoadConfiguration = 0x00,
    BulkEraseSetup1 = 0x01,
    LoadDataToProgram = 0x02,
    LoadDataToData = 0x03,
    ReadDataFromProgram = 0x04,
    ReadDataFromData = 0x05,
    IncrementAddress = 0x06,
    BulkEraseSetup2 = 0x07,
    BeginEraseProgrammingCycle = 0x08,
    BeginProgrammingOnlyCycle = 0x18,
};

constexpr unsigned kCommandBits = 6;
constexpr unsigned kWordBits = 16;
constexpr std::uint16_t kAddressMask = 0x1FFF; // within program memory, within configuration memory

bool writable(std::uint16_t configAddress)
{
    return configAddress <= 0x2003 || configAddress == PicTarget::kConfigWordAddress;
}

} // namespace

PicTarget::PicTarget(Options options) : options_(std::move(options))
{
    if (!options_.clockUs)
        options_.clockUs = [] { return platform::monotonicUs(); };
    program_.fill(kErasedWord);
    config_.fill(kErasedWord);
    data_.fill(kErasedByte);
}

void PicTarget::setRts(bool on)
{
    if (on == rts_)
        return;
    rts_ = on;
    switch (state_) {
    case State::Off:
        if (!on)
            dtrPulsed_ = false;
        break;
    case State::FirstAcknowledge:
        if (!on && !dtr_ && acknowledged_)
            state_ = State::RtsPulse;
        else
            startOver();
        break;
    case State::RtsPulse:
        acknowledge(State::SecondAcknowledge); // RTS is back on
        break;
    case State::SecondAcknowledge:
        startOver();
        break;
    case State::Programming:
        if (on)
            clockRises();
        else
            clockFalls();
        break;
    }
}

void PicTarget::setDtr(bool on)
{
    if (on == dtr_)
        return;
    dtr_ = on;
    switch (state_) {
    case State::SecondAcknowledge:
        if (on && rts_ && acknowledged_) {
            enterProgramming();
            return;
        }
        startOver();
        break;
    case State::FirstAcknowledge:
    case State::RtsPulse:
        startOver();
        break;
    case State::Programming:
        if (!on && !rts_)
            leaveProgramming();
        return;
    case State::Off:
        break;
    }
    // Off: a DTR pulse under RTS asks for the first acknowledgement.
    if (!rts_)
        return;
    if (on)
        dtrPulsed_ = true;
    else if (dtrPulsed_)
        acknowledge(State::FirstAcknowledge);
}

bool PicTarget::dsr()
{
    switch (state_) {
    case State::FirstAcknowledge:
    case State::SecondAcknowledge:
        if (acknowledgesLeft_ > 0) {
            --acknowledgesLeft_;
            return true;
        }
        acknowledged_ = true;
        return false;
    case State::Programming:
        return !busy() && dsr_;
    case State::Off:
    case State::RtsPulse:
        break;
    }
    return false;
}

std::int32_t PicTarget::rtsLine(void* target, std::int32_t on)
{
    static_cast<PicTarget*>(target)->setRts(on != 0);
    return 1;
}

std::int32_t PicTarget::dtrLine(void* target, std::int32_t on)
{
    static_cast<PicTarget*>(target)->setDtr(on != 0);
    return 1;
}

std::int32_t PicTarget::dsrLine(void* target)
{
    return static_cast<PicTarget*>(target)->dsr() ? 1 : 0;
}

void PicTarget::startOver()
{
    state_ = State::Off;
    dtrPulsed_ = false;
    acknowledged_ = false;
}

void PicTarget::acknowledge(State next)
{
    if (options_.acknowledgeReads <= 0) {
        startOver(); // a device that never acknowledges takes no step
        return;
    }
    state_ = next;
    acknowledgesLeft_ = options_.acknowledgeReads;
    acknowledged_ = false;
}

void PicTarget::enterProgramming()
{
    state_ = State::Programming;
    ++counters_.entries;
    phase_ = Phase::Command;
    command_ = 0;
    bitCount_ = 0;
    shift_ = 0;
    clockLost_ = false;
    dsr_ = false;
    pc_ = 0;
    latch_ = kErasedWord;
    latchFor_ = Latch::None;
    previous_[0] = previous_[1] = 0xFF;
    busyUntil_ = 0;
}

void PicTarget::leaveProgramming()
{
    ++counters_.exits;
    startOver();
}

void PicTarget::clockFalls()
{
    clockLost_ = busy();
    if (clockLost_) {
        ++counters_.lostEdges;
        return;
    }
    bit_ = bits_++;
    if (phase_ == Phase::DataOut) {
        dsr_ = (shift_ >> bitCount_ & 1) != 0;
    } else {
        latchedBit_ = dtr_;
        dsr_ = dtr_;
    }
    if (bit_ == echoFaultAt_)
        dsr_ = !dsr_;
}

void PicTarget::clockRises()
{
    if (busy()) {
        ++counters_.lostEdges;
        return;
    }
    if (clockLost_)
        return; // half a pulse: no bit
    dsr_ = completeBit();
    if (bit_ == levelFaultAt_)
        dsr_ = !dsr_;
}

bool PicTarget::completeBit()
{
    switch (phase_) {
    case Phase::Command: {
        command_ = static_cast<std::uint8_t>(command_ | (latchedBit_ ? 1u : 0u) << bitCount_);
        if (++bitCount_ < kCommandBits)
            return true;
        const std::uint8_t command = command_;
        command_ = 0;
        bitCount_ = 0;
        return execute(command);
    }
    case Phase::DataIn:
        shift_ = static_cast<std::uint16_t>(shift_ | (latchedBit_ ? 1u : 0u) << bitCount_);
        if (++bitCount_ < kWordBits)
            return true;
        load(static_cast<std::uint16_t>(shift_ >> 1 & 0x3FFF));
        break;
    case Phase::DataOut:
        if (++bitCount_ < kWordBits)
            return true;
        break;
    }
    phase_ = Phase::Command;
    bitCount_ = 0;
    shift_ = 0;
    return false;
}

bool PicTarget::execute(std::uint8_t command)
{
    commands_.push_back(command);
    const bool eraseArmed = previous_[0] == BulkEraseSetup1 && previous_[1] == BulkEraseSetup2;
    previous_[0] = previous_[1];
    previous_[1] = command;
    switch (command) {
    case LoadConfiguration:
    case LoadDataToProgram:
    case LoadDataToData:
        pending_ = command;
        phase_ = Phase::DataIn;
        shift_ = 0;
        return true;
    case ReadDataFromProgram:
    case ReadDataFromData:
        phase_ = Phase::DataOut;
        shift_ = static_cast<std::uint16_t>(read(command == ReadDataFromData) << 1);
        return true;
    case IncrementAddress:
        increment();
        return false;
    case BulkEraseSetup1:
    case BulkEraseSetup2:
        return false;
    case BeginEraseProgrammingCycle:
        if (eraseArmed)
            bulkErase();
        else
            beginCycle(true);
        busyUntil_ = now() + kEraseProgramCycleUs;
        return false;
    case BeginProgrammingOnlyCycle:
        beginCycle(false);
        busyUntil_ = now() + kProgramOnlyCycleUs;
        return false;
    default:
        ++counters_.unknownCommands;
        return false;
    }
}

void PicTarget::load(std::uint16_t word)
{
    switch (pending_) {
    case LoadConfiguration:
        pc_ = kConfigAddress;
        latch_ = word;
        latchFor_ = Latch::Program;
        break;
    case LoadDataToProgram:
        latch_ = word;
        latchFor_ = Latch::Program;
        break;
    case LoadDataToData:
        latch_ = word & 0xFF;
        latchFor_ = Latch::Data;
        break;
    default:
        break;
    }
}

void PicTarget::increment()
{
    const std::uint16_t base = pc_ < kConfigAddress ? 0 : kConfigAddress;
    pc_ = static_cast<std::uint16_t>(base + ((pc_ - base + 1) & kAddressMask));
}

void PicTarget::beginCycle(bool erase)
{
    // An erase/programming cycle writes the latch; a programming-only cycle
    // can only clear bits of what the cell holds.
    auto write = [&](auto& cell, unsigned value) {
        cell = static_cast<std::remove_reference_t<decltype(cell)>>(erase ? value : cell & value);
        ++counters_.cycles;
    };
    switch (latchFor_) {
    case Latch::None:
        return;
    case Latch::Data:
        if (dataProtected())
            ++counters_.refusedWrites;
        else
            write(data_[pc_ & 0xFF], latch_ & 0xFFu);
        return;
    case Latch::Program:
        if (pc_ < kProgramWords) {
            if (programProtected())
                ++counters_.refusedWrites;
            else
                write(program_[pc_], latch_);
        } else if (pc_ < kConfigAddress + kConfigWords && writable(pc_)) {
            write(config_[pc_ - kConfigAddress], latch_);
        }
        return;
    }
}

void PicTarget::bulkErase()
{
    if (latchFor_ == Latch::Program && pc_ == kConfigWordAddress) {
        program_.fill(kErasedWord);
        config_.fill(kErasedWord);
        data_.fill(kErasedByte);
        ++counters_.bulkErases;
        return;
    }
    const bool dataMemory = latchFor_ == Latch::Data;
    if (latchFor_ == Latch::None || (!dataMemory && pc_ >= kProgramWords))
        return;
    if (dataMemory ? dataProtected() : programProtected()) {
        ++counters_.refusedWrites;
        return;
    }
    if (dataMemory)
        data_.fill(kErasedByte);
    else
        program_.fill(kErasedWord);
    ++counters_.bulkErases;
}

std::uint16_t PicTarget::read(bool dataMemory) const
{
    if (dataMemory)
        return dataProtected() ? 0 : data_[pc_ & 0xFF];
    if (pc_ < kProgramWords)
        return programProtected() ? 0 : program_[pc_];
    if (pc_ < kConfigAddress + kConfigWords)
        return config_[pc_ - kConfigAddress];
    return kErasedWord;
}

} // namespace sim
