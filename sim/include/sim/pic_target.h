// A simulated microcontroller in serial programming mode, for the firmware
// programming of ORBA2 readers.
//
// The reader's microcontroller has 14-bit program words: 8192 words of flash
// (0x0000-0x1FFF), eight configuration words at 0x2000 (user IDs 0x2000-0x2003,
// the configuration word at 0x2007; 0x2004-0x2006 read 0x3FFF and keep no
// data) and 256 bytes of data EEPROM. The host reaches it through the serial
// port's modem lines: DTR is the data line towards the device, RTS its clock,
// DSR the device's answer.
//
// Entry, with RTS held on: a DTR pulse (on, then off) makes the device
// acknowledge: DSR reads on for a while, then falls. An RTS pulse (off, then
// on) with DTR off makes it acknowledge again. DTR on then enters programming
// mode with the program counter at 0. Each step counts only once the host
// has read the acknowledgement before it down to its fall; any other edge
// during entry starts it over. DTR falling while RTS is off leaves
// programming mode.
//
// In programming mode every bit is one RTS pulse. RTS falling latches DTR as
// the bit and puts it back on DSR as the echo (or, while the device sends a
// word, puts the device's bit on DSR). RTS rising then shows the level on
// DSR: on while the transaction expects more bits, off once it is complete.
// A transaction is a 6-bit command, least significant bit first, followed
// for the load and read commands by a 16-bit data word: a zero start bit, 14
// data bits and a zero stop bit, least significant first.
//
// Commands: 0 load configuration (program counter to 0x2000, data latch),
// 1 bulk erase setup 1, 2 load data for program memory, 3 load data for data
// memory (low 8 bits), 4 read program memory, 5 read data memory, 6 increment
// address, 7 bulk erase setup 2, 8 begin erase/programming cycle, 0x18 begin
// programming-only cycle (which can only clear bits). Data memory is addressed
// by the low 8 bits of the program counter. A cycle writes the latch of the
// last load to the memory it was loaded for, at the program counter. Setup 1
// then setup 2 then a begin-erase cycle is a bulk erase: at 0x2007 after a
// load configuration it erases everything, code protection included; in
// program memory it erases program memory, after a data load data memory,
// either only when that memory is not code-protected.
//
// Code protection: clearing any of bits 13, 12, 5, 4 of the configuration
// word protects program memory (reads give 0, writes and erases are
// refused); clearing bit 8 protects data memory the same way.
//
// Cycles take time: an erase/programming cycle 8 ms, a programming-only
// cycle 4 ms. Line edges during a cycle are lost (DSR reads off), as on the
// device. The device sees every line change synchronously, on the thread
// that drives the lines; it has no lock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace sim {

class PicTarget {
public:
    static constexpr std::uint16_t kProgramWords = 0x2000;
    static constexpr std::uint16_t kConfigAddress = 0x2000;
    static constexpr std::uint16_t kConfigWordAddress = 0x2007;
    static constexpr std::size_t kConfigWords = 8;
    static constexpr std::size_t kDataBytes = 256;
    static constexpr std::uint16_t kErasedWord = 0x3FFF;
    static constexpr std::uint8_t kErasedByte = 0xFF;
    static constexpr std::uint64_t kEraseProgramCycleUs = 8000;
    static constexpr std::uint64_t kProgramOnlyCycleUs = 4000;

    struct Options {
        // DSR reads that answer on after each step of the entry before the
        // line falls (0: no acknowledgement at all).
        int acknowledgeReads = 3;
        // Microseconds of a monotonic clock, for the cycle times; empty: the
        // platform clock.
        std::function<std::uint64_t()> clockUs;
    };

    struct Counters {
        unsigned entries = 0;          // times programming mode was entered
        unsigned exits = 0;            // times it was left
        unsigned cycles = 0;           // programming cycles that wrote a word or byte
        unsigned bulkErases = 0;       // bulk erases carried out
        unsigned refusedWrites = 0;    // cycles or erases refused by code protection
        unsigned lostEdges = 0;        // clock edges during a cycle
        unsigned unknownCommands = 0;
    };

    PicTarget() : PicTarget(Options{}) {}
    explicit PicTarget(Options options);

    // For the next acknowledgements of the entry (see Options).
    void setAcknowledgeReads(int reads) { options_.acknowledgeReads = reads; }

    // The host's side of the lines.
    void setRts(bool on);
    void setDtr(bool on);
    bool dsr();

    // The same as plain functions over a PicTarget* context, in the shape of
    // the transport's emulated modem-line hooks (linvaro_testing.h): setters
    // return 1, dsrLine 1 when on.
    static std::int32_t rtsLine(void* target, std::int32_t on);
    static std::int32_t dtrLine(void* target, std::int32_t on);
    static std::int32_t dsrLine(void* target);

    bool programming() const { return state_ == State::Programming; }
    std::uint16_t programCounter() const { return pc_; }
    // Every command received in programming mode, in order.
    const std::vector<std::uint8_t>& commands() const { return commands_; }
    const Counters& counters() const { return counters_; }

    // Memory as it is, past any code protection.
    const std::array<std::uint16_t, kProgramWords>& programMemory() const { return program_; }
    const std::array<std::uint16_t, kConfigWords>& configMemory() const { return config_; }
    const std::array<std::uint8_t, kDataBytes>& dataMemory() const { return data_; }
    std::array<std::uint16_t, kProgramWords>& programMemory() { return program_; }
    std::array<std::uint16_t, kConfigWords>& configMemory() { return config_; }
    std::array<std::uint8_t, kDataBytes>& dataMemory() { return data_; }
    std::uint16_t configWord() const { return config_[kConfigWordAddress - kConfigAddress]; }
    bool programProtected() const { return (configWord() & 0x3030) != 0x3030; }
    bool dataProtected() const { return (configWord() & 0x0100) == 0; }

    // Faults for the bit n clock pulses from now (0: the next one): the echo,
    // or the level after the bit, reads inverted.
    void invertEcho(unsigned n) { echoFaultAt_ = bits_ + n; }
    void invertLevel(unsigned n) { levelFaultAt_ = bits_ + n; }

private:
    enum class State { Off, FirstAcknowledge, RtsPulse, SecondAcknowledge, Programming };
    enum class Phase { Command, DataIn, DataOut };
    enum class Latch { None, Program, Data };

    void startOver();
    void acknowledge(State next);
    void enterProgramming();
    void leaveProgramming();
    void clockFalls();
    void clockRises();
    bool completeBit();                 // the level after the bit
    bool execute(std::uint8_t command); // whether a data word follows
    void load(std::uint16_t word);
    void increment();
    void beginCycle(bool erase);
    void bulkErase();
    std::uint16_t read(bool dataMemory) const;
    std::uint64_t now() const { return options_.clockUs(); }
    bool busy() const { return now() < busyUntil_; }

    Options options_;
    State state_ = State::Off;
    bool rts_ = false;
    bool dtr_ = false;
    bool dsr_ = false;
    bool dtrPulsed_ = false; // DTR rose while RTS was on
    int acknowledgesLeft_ = 0;
    bool acknowledged_ = false; // the host read the acknowledgement down to its fall

    Phase phase_ = Phase::Command;
    std::uint8_t command_ = 0;
    std::uint8_t pending_ = 0; // the command whose data word is on the line
    unsigned bitCount_ = 0;
    std::uint16_t shift_ = 0;
    bool latchedBit_ = false;
    bool clockLost_ = false; // the falling edge of this pulse came during a cycle
    std::uint64_t bit_ = 0;  // number of the pulse on the line
    std::uint64_t bits_ = 0;
    std::uint64_t echoFaultAt_ = UINT64_MAX;
    std::uint64_t levelFaultAt_ = UINT64_MAX;

    std::uint16_t pc_ = 0;
    std::uint16_t latch_ = kErasedWord;
    Latch latchFor_ = Latch::None;
    std::uint8_t previous_[2] = {0xFF, 0xFF}; // the two commands before this one
    std::uint64_t busyUntil_ = 0;

    std::array<std::uint16_t, kProgramWords> program_;
    std::array<std::uint16_t, kConfigWords> config_;
    std::array<std::uint8_t, kDataBytes> data_;
    std::vector<std::uint8_t> commands_;
    Counters counters_;
};

} // namespace sim
