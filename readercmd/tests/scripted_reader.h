// A scripted first-make reader on a pseudo-terminal for the command tests of
// every family: one link per test suite (or per test, with reopen()); each
// request takes the next scripted answer, or when the script is empty the
// standing answer (status 0 and no data unless answerAll says otherwise), in
// the request's own mode and address. Tests check the request bytes a command
// sent and what it made of an answer.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "quorvel.h"
#include "scripted_peer.h"

namespace tables_test {

using peer::Bytes;

constexpr int kPort = 3;
constexpr int kWaitMs = 3000;
// Outputs are preset to this, so that untouched ones show.
constexpr std::uint8_t kUnset = 0xEE;

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes counting(std::size_t n, std::uint8_t first = 0)
{
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

// A block list of these blocks (answer length byte 0xFF).
inline Bytes blockList(const std::vector<Bytes>& blocks)
{
    Bytes out;
    for (const Bytes& b : blocks) {
        out.push_back(static_cast<std::uint8_t>(b.size()));
        out.insert(out.end(), b.begin(), b.end());
    }
    out.push_back(0xFF);
    return out;
}

// One row of a request table: a call and the command and data it must send.
struct RequestRow {
    std::string name;
    std::function<std::int32_t(std::int32_t handle, std::uint8_t* status)> call;
    std::uint8_t command;
    Bytes data;
};

// One scripted answer of the reader.
struct Scripted {
    bool answer = true;
    std::uint8_t status = 0;
    Bytes data;
    int lengthByte = -1;
    // A second answer frame, sent gapMs after the first (the reader's own message).
    bool second = false;
    std::uint8_t secondStatus = 0;
    Bytes secondData;
    int gapMs = 0;
};

class ScriptedReader : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        peer_ = peer::ScriptedPeer::pty(kPort).release();
        peer_->respond([](const peer::Request& request) {
            std::lock_guard lock(scriptLock_);
            peer::Reply reply;
            Scripted next = standing_;
            if (!script_.empty()) {
                next = script_.front();
                script_.erase(script_.begin());
            }
            if (next.answer)
                reply.pieces.push_back(
                    peer::answerFrame(request.mode, request.address, next.status, next.data, next.lengthByte));
            if (next.second) {
                reply.pieces.push_back(
                    peer::answerFrame(request.mode, request.address, next.secondStatus, next.secondData));
                reply.gapMs = next.gapMs;
            }
            return reply;
        });
        handle_ = QVL_SerialOpen(kPort, 115200);
    }
    static void TearDownTestSuite()
    {
        if (handle_ > 0)
            QVL_Close(handle_);
        handle_ = -1;
        delete peer_;
        peer_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_GT(handle_, 0);
        std::lock_guard lock(scriptLock_);
        script_.clear();
        standing_ = {};
    }

    static std::int32_t handle() { return handle_; }
    // A new link in place of the suite's, with every link setting at its default.
    static void reopen()
    {
        QVL_Close(handle_);
        handle_ = QVL_SerialOpen(kPort, 115200);
        ASSERT_GT(handle_, 0);
    }

    // The next request gets this answer (lengthByte 0xFF: data is a block list).
    static void answer(std::uint8_t status, const Bytes& data, int lengthByte = -1)
    {
        push({true, status, data, lengthByte});
    }
    static void silence() { push({false}); }
    // Every request from now on that finds the script empty gets this answer, or none.
    static void answerAll(std::uint8_t status, const Bytes& data, int lengthByte = -1)
    {
        std::lock_guard lock(scriptLock_);
        standing_ = {true, status, data, lengthByte};
    }
    static void silenceAll()
    {
        std::lock_guard lock(scriptLock_);
        standing_ = {false};
    }
    // The next request gets two answers, the second gapMs after the first.
    static void twoAnswers(std::uint8_t status, const Bytes& data, std::uint8_t secondStatus, const Bytes& secondData,
                           int gapMs)
    {
        push({true, status, data, -1, true, secondStatus, secondData, gapMs});
    }

    // Runs a command, expects the return code and hands back the one request it sent.
    static peer::Request sent(const std::function<std::int32_t()>& command, std::int32_t expected = 0)
    {
        const std::size_t before = requestCount();
        EXPECT_EQ(command(), expected);
        if (!peer_->waitRequests(before + 1, kWaitMs)) {
            ADD_FAILURE() << "nothing sent";
            return {};
        }
        return peer_->requests().back();
    }
    static std::size_t requestCount() { return peer_->requests().size(); }
    static std::vector<peer::Request> requests() { return peer_->requests(); }
    static bool waitRequests(std::size_t count) { return peer_->waitRequests(count, kWaitMs); }

    // Every row sends exactly its command and data, and stores the status of the answer.
    static void expectRequests(const std::vector<RequestRow>& rows)
    {
        for (const RequestRow& row : rows) {
            SCOPED_TRACE(row.name);
            std::uint8_t status = kUnset;
            answer(0x00, {});
            const peer::Request r = sent([&] { return row.call(handle_, &status); });
            EXPECT_EQ(r.mode, QVL_DEFAULT_MODE);
            EXPECT_EQ(r.command, row.command);
            EXPECT_EQ(r.data, row.data);
            EXPECT_EQ(status, 0x00);
        }
    }

    // Every call stores QVL_STATUS_BAD_ARGUMENT and sends nothing.
    static void expectRefused(const std::vector<RequestRow>& rows)
    {
        const std::size_t before = requestCount();
        for (const RequestRow& row : rows) {
            SCOPED_TRACE(row.name);
            std::uint8_t status = kUnset;
            EXPECT_EQ(row.call(handle_, &status), 0);
            EXPECT_EQ(status, QVL_STATUS_BAD_ARGUMENT);
        }
        // A command after them is the next request the reader sees.
        std::uint8_t status = kUnset;
        EXPECT_EQ(sent([&] { return QVL_IdentifyReaderOnNetwork(handle_, nullptr, nullptr, nullptr, &status); })
                      .command,
                  0x60);
        EXPECT_EQ(requestCount(), before + 1);
    }

private:
    static void push(const Scripted& s)
    {
        std::lock_guard lock(scriptLock_);
        script_.push_back(s);
    }

    static inline peer::ScriptedPeer* peer_ = nullptr;
    static inline std::int32_t handle_ = -1;
    static inline std::mutex scriptLock_;
    static inline std::vector<Scripted> script_;
    static inline Scripted standing_;
};

} // namespace tables_test
