#ifndef KORVAND_HARDWARE_HDLC_H
#define KORVAND_HARDWARE_HDLC_H

#include <cstdint>
#include <ostream>

#include "protocol/packet.h"
#include "runtime/event.h"

// What a link protocol sends its frames through: an HDLC controller
// channel, or a device that stands in for one.
class GenericHDLC {
public:
    virtual ~GenericHDLC() = default;
    // Sends one frame; false when it was not sent. The caller keeps its
    // packet either way.
    virtual bool hdlc_transmit(Packet& frame) = 0;
    virtual bool is_open() const = 0;
    virtual bool is_ready() const = 0;
};

// One channel of the board's multi-channel communication controller on
// "/dev/mcc/ctl". Every frame written to its descriptor is sent, every read
// returns one received frame. Activation allocates a controller channel and
// cross-connects it through the time-slot switch with the channel's time
// slot. Received frames and state changes go to the listener.
//
// Calling order for an owner: construct; fill in `params`, `trace_level`
// and `trace_id`; bind the listener; activate; transmit and receive;
// deactivate; unbind; destroy.
class HDLC : public GenericHDLC {
public:
    // The listener of a channel: link protocols and the slots that use a
    // channel implement it. Calls come from inside the poll callback; a
    // listener may transmit, deactivate or unbind from inside them.
    class Notify {
    public:
        struct Cause {
            enum Type { ReadError = 0 };
        };
        virtual ~Notify() = default;
        // One received frame: exactly the bytes of one read.
        virtual void on_hdlc_receive(Packet& frame) = 0;
        // The channel failed and is closed now; the owner decides whether to
        // activate it again.
        virtual void on_hdlc_error(Cause::Type cause) = 0;
        // The channel takes frames again: after activation, and after a
        // transmit that was refused because the controller would block.
        virtual void on_hdlc_ready() = 0;
    };

    // The channel's parameters, filled in by the owner before activation.
    struct Params {
        int32_t trunk = 0;
        int32_t timeslot = 0;    // on the trunk
        int32_t rxChannel = -1;  // the TDM channel the controller listens to; -1: none
        int32_t txChannel = -1;  // the TDM channel it sends into in mode 2; -1: none
        int32_t mode = 0;        // 0, 1 or 2
    };

    // In the order of the fields of LGCP::HdlcLinkInfo.
    struct Counters {
        uint32_t txSU = 0;        // frames written
        uint32_t txDiscard = 0;   // frames given while the channel was closed
        uint32_t txError = 0;     // writes that failed
        uint32_t txOverflow = 0;  // nothing counts here
        uint32_t rxSU = 0;        // frames received
    };

    // The allocation record's words besides the mode code.
    static const uint32_t kRxPacketSize = 512;
    static const uint32_t kRxThreshold = 1;
    static const uint32_t kTxThreshold = 4;

    HDLC();
    ~HDLC() override;
    HDLC(const HDLC&) = delete;
    HDLC& operator=(const HDLC&) = delete;

    void bind(Notify& listener) { listener_ = &listener; }
    // The listener becomes the process-wide one that ignores every call.
    void unbind();

    // (Re)opens the channel, with zeroed counters; true when it is open and
    // polled. A failure prints one line on the error stream.
    bool activate();
    // Closes the channel. The switch connections stay.
    void deactivate();

    // True when the frame was written, or was empty. False when the
    // channel is closed (counted in txDiscard), the controller would block
    // (on_hdlc_ready follows; offer the frame again then), or the write
    // failed (counted in txError).
    bool hdlc_transmit(Packet& frame) override;
    bool is_open() const override { return bool(m_event.fd); }
    bool is_ready() const override { return ready; }

    // The poll callback: a received frame first, then the writable state.
    void on_event(int fd, short revents);

    // The prefix of the channel's lines: "hdlc [<trace id>/<time slot>]: ".
    void PutHeader(std::ostream& os) const;

    const Counters& counters() const { return counters_; }

    Params params;
    // The detail of the owner's link traces (its `log` parameter); the
    // channel itself traces under the switch "signalling.hdlc".
    uint32_t trace_level = 0;
    int32_t trace_id = 0;

private:
    // The allocation's kind for a mode, or -1 for a mode without one.
    static int64_t modeCode(int32_t mode);
    // Closes `fd` and prints the prefix, `what` and the error text.
    bool activationFailed(int fd, const char* what, int err);
    void connectSwitch(int controller);
    void do_read(short revents);

    bool ready = false;
    Counters counters_;
    Event m_event;
    Notify* listener_;
};

#endif
