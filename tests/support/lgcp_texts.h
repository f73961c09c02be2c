#ifndef KORVAND_TESTS_SUPPORT_LGCP_TEXTS_H
#define KORVAND_TESTS_SUPPORT_LGCP_TEXTS_H

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/lgcpc/client.h"

// Exchanges with a daemon through the controller client, and the messages
// the daemon sends for slots, printed as the client prints what it
// receives (the test links korvand_lgcpc).
namespace LgcpTexts {

// Sends a ping after whatever was sent since the client had received
// `before` messages; its answer proves that the daemon has finished with
// the requests before it. Returns what came in between; an empty list and
// a test failure when the answer does not come.
inline std::vector<std::string> barrier(Lgcpc::Client& client, size_t before) {
    static const std::string ping = "{ seq 424242, pdu command : ping : NULL }";
    static const std::string pong = Lgcpc::canonical("{ seq 424242, pdu response : success : NULL }");
    std::string error;
    EXPECT_TRUE(client.Send(ping, error)) << error;
    std::vector<std::string> got;
    for (size_t n = before + 1; client.WaitFor(n); ++n) {
        if (client.Received()[n - 1] == pong) return got;
        got.push_back(client.Received()[n - 1]);
    }
    ADD_FAILURE() << "no answer to the closing ping";
    return got;
}

// Sends one request (value notation); every message it brought.
inline std::vector<std::string> request(Lgcpc::Client& client, const std::string& text) {
    std::string error;
    size_t before = client.Received().size();
    EXPECT_TRUE(client.Send(text, error)) << error;
    return barrier(client, before);
}

inline std::string slotMessage(int seq, int slot, const std::string& pdu) {
    std::string head = seq < 0 ? "{ " : "{ seq " + std::to_string(seq) + ", ";
    return Lgcpc::canonical(head + "slot " + std::to_string(slot) + ", pdu " + pdu + " }");
}

inline std::string ok(int slot, int seq = 1) {
    return slotMessage(seq, slot, "response : success : NULL");
}

inline std::string error(int slot, const std::string& cause, int seq = 1) {
    return slotMessage(seq, slot, "response : error : " + cause);
}

// The `transmitter` or `receiver` signal of a slot whose stream is active.
inline std::string stream(int slot, const std::string& which, int channel) {
    return slotMessage(-1, slot, "signal : " + which + " : active : " + std::to_string(channel));
}

}  // namespace LgcpTexts

#endif
