#ifndef KORVAND_BOARD_SIM_SWITCH_H
#define KORVAND_BOARD_SIM_SWITCH_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "board/sim_hal.h"

// The time-slot switch part of "/dev/hal". Each channel (any non-negative
// driver channel number) is, as far as the switch goes, disabled, connected
// to a source channel, or driven with a constant byte. A channel the switch
// does not drive carries what something outside the switch puts on it (a
// line, another board), or the idle bus level 0xFF.
//
// A bus channel (from Hal::kBusFirst) is one shared medium: what the switch
// drives onto it is what it carries, and what sits on it otherwise is a peer
// board's. A channel below the buses is a port (a trunk's time slot, a
// controller's channel) with two directions: what the switch sends out
// through it, and what arrives on it from its line. A connection whose
// source is such a port takes what arrives, whatever the switch sends out
// through the port meanwhile; a read of the port itself returns what the
// switch sends out, or what arrives while the switch drives nothing.
//
// The hardware bus test goes through the switch's own requests: it writes a
// pseudo-random pattern to bus channels, reads them back, or disables them.
// A damaged channel (a "mismatch") flips bits of what a read returns.
//
// Control commands, "/dev/hal bus <words>":
//   read <channel>                    what a read request returns: "0x5a"
//   carry <channel> <byte>            something outside the switch drives it
//   pattern <bus> <slot> <n> <seed>   a peer board carries, on time slots
//                                     slot to slot+n-1 of the bus, the low
//                                     bytes of glibc's random() after
//                                     srandom(seed), the bus test's pattern
//   mismatch <channel> [<mask>]       reads of the channel return its byte
//                                     XOR mask (1 to 255, default 0xFF)
//   clear                             repairs every damaged channel
class SimSwitch : public SimHalFamily {
public:
    static constexpr unsigned kIdleBus = 0xFF;

    std::vector<unsigned long> requests() const override;
    int onRequest(SimHandle& h, unsigned long request, void* arg) override;
    const char* controlWord() const override { return "bus"; }
    std::string control(const std::vector<std::string>& words) override;
    const char* requestName(unsigned long request) const override;

    // What the driver does for the requests; tests also call them to set up
    // what an earlier process left behind. Negative channels are refused.
    bool connect(int output, int source);
    bool disable(int output);
    bool write(int channel, unsigned value);

    // Lets something outside the switch drive `channel` with `byte`.
    void carry(int channel, uint8_t byte);

    // -1 unless `output` is connected.
    int sourceOf(int output) const;
    // -1 unless the switch drives `channel` with a constant byte.
    int constantOf(int channel) const;
    bool isDisabled(int output) const;
    // The byte a read request returns: a connected output follows its
    // source (a loop of connections reads as the idle bus).
    unsigned byteOf(int channel) const;

    // Damages `channel`: read requests return its byte XOR `mask` (0 repairs).
    void damage(int channel, uint8_t mask);
    // The byte a read request of `channel` returns.
    unsigned readback(int channel) const;

private:
    using Words = std::vector<std::string>;
    std::string cmdRead(const Words& args);
    std::string cmdCarry(const Words& args);
    std::string cmdPattern(const Words& args);
    std::string cmdMismatch(const Words& args);
    std::string cmdClear(const Words& args);

    struct Channel {
        enum Kind { Disabled, Connected, Constant };
        Kind kind = Disabled;
        int source = -1;
        unsigned constant = 0;
        int carried = -1;
    };

    const Channel* find(int channel) const;
    // What something outside the switch puts on `channel`, else the idle
    // bus level.
    unsigned arriving(int channel) const;

    int onConnect(void* arg);
    int onDisable(void* arg);
    int onWrite(void* arg);
    int onRead(void* arg);

    std::unordered_map<int, Channel> channels_;
    std::unordered_map<int, uint8_t> damaged_;
};

#endif
