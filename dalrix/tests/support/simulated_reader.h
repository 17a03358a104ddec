// A simulated second-make reader served on a pseudo-terminal as COM<com> of
// a test's port folder: the stand-in for hardware that the driver meets in
// the end-to-end tests.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "pty_peer.h"
#include "sim/testing.h"

namespace dalrix_test {

class SimulatedReader : public ReaderOnPort {
public:
    // baud 0: the reader's own speed, 19200.
    SimulatedReader(PortFolder& folder, int com, std::uint8_t address, int baud = 0,
                    sim::PersonalityOptions options = {})
    {
        options.address = address;
        std::string error;
        served_ = sim::serveReader("dalrix", folder.portPath(com), baud, options, &error);
        if (!served_)
            throw std::runtime_error("cannot serve a simulated reader: " + error);
    }

    sim::Reader& reader() { return *served_.reader; }
    sim::Server& server() { return *served_.server; }

private:
    sim::ServedReader served_;
};

inline std::unique_ptr<ReaderOnPort> simulatedReader(PortFolder& folder, int com, std::uint8_t address)
{
    return std::make_unique<SimulatedReader>(folder, com, address);
}

} // namespace dalrix_test
