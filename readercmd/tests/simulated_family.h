// A simulated reader of one family for the end-to-end tests of the family
// commands: served as COMn in a port folder of its own, with a link to it,
// tags placed in its field and their memory read back. A family's fixture
// holds one for its whole suite, or one per test when tests serve other
// models.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "quorvel.h"
#include "sim/testing.h"

namespace sim_test {

class SimulatedFamily {
public:
    SimulatedFamily() = default;
    SimulatedFamily(const SimulatedFamily&) = delete;
    SimulatedFamily& operator=(const SimulatedFamily&) = delete;
    ~SimulatedFamily() { stop(); }

    // Serves the family's reader as COM<port> (any reader served before goes
    // first) and, unless told otherwise, opens a link to it at 115200 baud.
    void serve(const char* family, int port, const sim::PersonalityOptions& options = {}, bool openLink = true)
    {
        stop();
        port_ = port;
        std::string error;
        served_ = sim::serveReader(family, folder_.portPath(port), 0, options, &error);
        ASSERT_TRUE(served_) << error;
        if (openLink)
            open(115200);
    }
    void open(int baud)
    {
        handle_ = QVL_SerialOpen(port_, baud);
        ASSERT_GT(handle_, 0);
    }
    void close()
    {
        if (handle_ > 0)
            QVL_Close(handle_);
        handle_ = -1;
    }
    // The link closed, then the server, then the reader.
    void stop()
    {
        close();
        served_.server.reset();
        served_.reader.reset();
    }

    std::int32_t handle() const { return handle_; }
    sim::Reader& reader() { return *served_.reader; }
    sim::Tag tag(const sim::Uid& uid) { return *reader().tag(uid); }
    void place(const sim::Uid& uid, std::uint8_t afi = 0, bool easSupported = true)
    {
        sim::Tag tag(uid);
        tag.setAfi(afi);
        tag.setEasSupported(easSupported);
        ASSERT_TRUE(reader().place(tag));
    }

private:
    sim::PortFolder folder_;
    sim::ServedReader served_;
    int port_ = 0;
    std::int32_t handle_ = -1;
};

} // namespace sim_test
