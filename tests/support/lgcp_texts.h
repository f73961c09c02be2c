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

// Answers to requests that name no slot.
inline std::string success(int seq) {
    return Lgcpc::canonical("{ seq " + std::to_string(seq) + ", pdu response : success : NULL }");
}

inline std::string failure(int seq, const std::string& cause) {
    return Lgcpc::canonical("{ seq " + std::to_string(seq) + ", pdu response : error : " + cause + " }");
}

// The answer to `query` on the standard simulated board.
inline std::string resourceReport() {
    return Lgcpc::canonical(
        "{ pdu signal : query : { boardMajor 0, boardMinor 0, rtp-g729 32, rtp-g723 16, rtp-g711 64, rtp-g711mcc 0,"
        " modem 4, mixer { { unit 0, tdm_inputs 24, tdm_outputs 24, mixer_inputs 96, dpu_per_mixer 770,"
        " dpu_per_ec 17, dpu_per_lms 24 }, { unit 1, tdm_inputs 24, tdm_outputs 24, mixer_inputs 96,"
        " dpu_per_mixer 770, dpu_per_ec 17, dpu_per_lms 24 } }, mux TRUE, mcc-data 8, mcc-bri 4, mcc-trans 4,"
        " echoBus { 4, 5 }, t38-instances 0, digital-modems 2, lin16 0, universal 8 } }");
}

// A `trunkStatus` signal of the trunk status services: E1 framers (type
// "e1") and BRI lines ("bri").
inline std::string trunkStatus(const std::string& type, int trunk, const std::string& state, int slips = 0,
                               int lossCarrier = 0) {
    return Lgcpc::canonical("{ pdu signal : trunkStatus : { trunk " + std::to_string(trunk) + ", state " + state +
                            ", slips " + std::to_string(slips) + ", lossBF 0, lossCarrier " +
                            std::to_string(lossCarrier) + ", lossAIS 0, lossRAI 0, name \"\", clockMaster FALSE, type " +
                            type + " } }");
}

// The E1 framers' statuses on the standard simulated board.
inline std::vector<std::string> e1Statuses() {
    return {trunkStatus("e1", 0, "normal"), trunkStatus("e1", 1, "normal", 3),
            trunkStatus("e1", 2, "lossCarrier", 0, 1), trunkStatus("e1", 3, "normal")};
}

// A `cas` signal of an E1 trunk's time slot.
inline std::string cas(int trunk, int timeslot, int rx, int tx) {
    return Lgcpc::canonical("{ pdu signal : cas : { channel { path " + std::to_string(trunk) + ", timeslot " +
                            std::to_string(timeslot) + " }, rx " + std::to_string(rx) + ", tx " +
                            std::to_string(tx) + " } }");
}

}  // namespace LgcpTexts

#endif
