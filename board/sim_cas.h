#ifndef KORVAND_BOARD_SIM_CAS_H
#define KORVAND_BOARD_SIM_CAS_H

#include <cstdint>
#include <string>
#include <vector>

#include "board/e1_driver.h"
#include "board/sim_request_model.h"

// The CAS device "/dev/e1-cas": channel-associated signalling on each of the
// four E1 trunks. An open of the device opens a trunk with the open trunk
// request and holds it until it closes the trunk or the device; a trunk held
// by another open is busy (EBUSY). On an open trunk the channel enable, set
// and get requests reach time slots 1 to 15 and 17 to 31. While a channel
// is enabled, every change of the bits the line delivers (rx) is reported
// to the holding open as a 12-byte E1::CasRecord {trunk, time slot, rx,
// tx}. Every line starts idle (rx 0x9: A=1, B=0, C=0, D=1).
//
// Refusals: trunk above 3, time slot 0, 16 or above 31, bits above 15,
// enable word other than 0 or 1 (EINVAL); trunk not open (ENXIO); trunk
// held by another open (EBUSY); missing record (EFAULT). Writes are refused.
//
// Control commands, "/dev/e1-cas <words>":
//   event <trunk> <slot> <rx>      the line's bits change; replies "sent",
//                                  "held" (trunk closed or channel not
//                                  enabled: stored, nothing reported) or
//                                  "dropped" (the daemon's queue is full)
//   record <trunk> <slot> <rx> <tx>  emits that record to every open as it
//                                  stands, any 32-bit trunk and slot and any
//                                  8-bit bits: "sent <opens>"
//   raw <hex>                      emits 1 to 64 bytes given as hex digit
//                                  pairs ("0300000007") to every open
//   trunk <trunk>                  "trunk 0 open channels 5 7", or
//                                  "trunk 0 closed"
//   channel <trunk> <slot>         "trunk 0 timeslot 5 enabled rx 9 tx 15"
//                                  (or "disabled"), as the daemon set it
//   hangup                         ends every open from the driver's side:
//                                  the daemon sees POLLHUP and end of file,
//                                  and the trunks they held close
//   log ...                        the request log summary (SimControl::log);
//                                  request names: cas-open, cas-close, set,
//                                  get, enable
class SimCas : public SimRequestModel {
public:
    static constexpr const char* kPath = E1::kCasDevice;
    static constexpr uint8_t kIdleBits = 0x9;

    struct Channel {
        bool enabled = false;
        uint8_t rx = kIdleBits;
        uint8_t tx = 0;
    };

    SimCas();

    bool isOpen(unsigned trunk) const { return trunk < E1::kTrunks && trunks_[trunk].holder; }
    // `trunk` below E1::kTrunks, `timeslot` below E1::kTimeslots.
    const Channel& channel(unsigned trunk, unsigned timeslot) const {
        return trunks_[trunk].channels[timeslot];
    }
    // The line delivers `rx` on a CAS channel; reports it when the channel is
    // enabled on an open trunk. Returns "sent", "held", "dropped" or an
    // error reply.
    std::string lineBits(unsigned trunk, unsigned timeslot, uint8_t rx);

    void onClose(SimHandle& h) override;
    std::string control(const std::vector<std::string>& words) override;

protected:
    int onRecord(SimHandle& h, unsigned long request, void* arg) override;
    int onValue(SimHandle& h, unsigned long request, long arg) override;

private:
    using Words = std::vector<std::string>;
    struct Trunk {
        SimHandle* holder = nullptr;
        Channel channels[E1::kTimeslots];
    };

    static bool casChannel(uint32_t trunk, uint32_t timeslot);
    // 0 when `h` may work on the channel, else the errno that refuses it.
    int check(const SimHandle& h, uint32_t trunk, uint32_t timeslot) const;
    int openTrunk(SimHandle& h, long trunk);
    int closeTrunk(SimHandle& h, long trunk);
    void release(Trunk& t);
    size_t emitToAll(const void* data, size_t len);

    std::string cmdEvent(const Words& args);
    std::string cmdRecord(const Words& args);
    std::string cmdRaw(const Words& args);
    std::string cmdTrunk(const Words& args);
    std::string cmdChannel(const Words& args);
    std::string cmdHangup(const Words& args);

    Trunk trunks_[E1::kTrunks];
};

#endif
