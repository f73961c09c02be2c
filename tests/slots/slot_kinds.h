#ifndef KORVAND_TESTS_SLOTS_SLOT_KINDS_H
#define KORVAND_TESTS_SLOTS_SLOT_KINDS_H

#include <algorithm>
#include <string>
#include <vector>

#include "board/sim_mcc.h"
#include "board/sim_words.h"
#include "tests/core/slot_fixture.h"

// The slot server for the tests of the slot kinds, with the simulated MCC
// controller at hand: what the controller receives is searched for
// signals, and what the slots say for lines.
class SlotKinds : public SlotServer {
protected:
    static constexpr int kFirst = 256;  // the simulated controller's first channel

    // A signal of `slot` as the controller receives it.
    static std::string signal(int slot, const std::string& text) {
        return slotMessage(-1, slot, "signal : " + text);
    }
    static std::string abort(int slot, int code) { return signal(slot, "abort : " + std::to_string(code)); }
    static bool has(const Texts& got, const std::string& message) {
        return std::find(got.begin(), got.end(), message) != got.end();
    }
    // The messages that hold `part`, and how many.
    static Texts matching(const Texts& got, const std::string& part) {
        Texts out;
        for (const std::string& m : got)
            if (m.find(part) != std::string::npos) out.push_back(m);
        return out;
    }
    static size_t count(const Texts& got, const std::string& part) { return matching(got, part).size(); }
    static std::string hex(const std::string& bytes) {
        return "'" + SimWords::hex(std::vector<uint8_t>(bytes.begin(), bytes.end())) + "'H";
    }
    Texts userData(int slot, const std::string& bytes) { return command(slot, "userData : " + hex(bytes)); }
    // Waits for `n` more messages; all that came meanwhile.
    Texts next(size_t n) {
        size_t before = client.Received().size();
        EXPECT_TRUE(client.WaitFor(before + n)) << "got " << client.Received().size() - before;
        return Texts(client.Received().begin() + long(before), client.Received().end());
    }
    // Advances the clock until `message` has come (at most `ms`); all that came.
    Texts until(const std::string& message, unsigned ms = 20000) {
        Texts got;
        for (unsigned t = 0; t < ms && !has(got, message); t += 100) {
            Texts more = advance(100);
            got.insert(got.end(), more.begin(), more.end());
        }
        EXPECT_TRUE(has(got, message)) << message;
        return got;
    }
    // What a slot that streams on `channel` from its creation sends.
    static Texts created(int slot, int channel) {
        return {ok(slot), stream(slot, "transmitter", channel), stream(slot, "receiver", channel)};
    }
    // The last allocation of an MCC channel: kind, packet size, reserved, thresholds.
    std::vector<uint32_t> allocation(int channel) const {
        const Mcc::Allocate& r = mcc.channel(channel).allocation;
        return {r.kind, r.rx_packet_size, r.reserved, r.rx_threshold, r.tx_threshold};
    }
    // What an MCC channel has sent so far.
    std::string played(int channel = kFirst) const {
        std::string out;
        for (const SimMcc::Frame& f : mcc.channel(channel).sent) out.append(f.begin(), f.end());
        return out;
    }
    // Whether the slots wrote `text` to the error stream or the log.
    bool said(const std::string& text) const { return (err.text() + log.text()).find(text) != std::string::npos; }

    SimMcc& mcc = sim.model<SimMcc>(SimMcc::kPath);
};

#endif
