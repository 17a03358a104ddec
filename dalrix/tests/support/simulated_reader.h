// A simulated second-make reader served on a pseudo-terminal as COM<com> of
// a test's port folder: the stand-in for hardware that the driver meets in
// the end-to-end tests.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "pty_peer.h"
#include "sim/reader.h"
#include "sim/server.h"

namespace dalrix_test {

class SimulatedReader : public ReaderOnPort {
public:
    // baud 0: the reader's own speed, 19200.
    SimulatedReader(PortFolder& folder, int com, std::uint8_t address, int baud = 0,
                    sim::PersonalityOptions options = {})
    {
        options.address = address;
        std::string error;
        reader_ = sim::Reader::create("dalrix", options, baud, &error);
        if (reader_)
            server_ = sim::Server::pty(*reader_, folder.path() + "/COM" + std::to_string(com), &error);
        if (!server_)
            throw std::runtime_error("cannot serve a simulated reader: " + error);
    }

    sim::Reader& reader() { return *reader_; }
    sim::Server& server() { return *server_; }

private:
    std::unique_ptr<sim::Reader> reader_;
    std::unique_ptr<sim::Server> server_; // destroyed first: it serves reader_
};

inline std::unique_ptr<ReaderOnPort> simulatedReader(PortFolder& folder, int com, std::uint8_t address)
{
    return std::make_unique<SimulatedReader>(folder, com, address);
}

} // namespace dalrix_test
