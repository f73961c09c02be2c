#ifndef KORVAND_BOARD_SIM_MCC_H
#define KORVAND_BOARD_SIM_MCC_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/mcc_driver.h"
#include "board/sim_driver.h"
#include "board/sim_mcc_peer.h"

// The multi-channel communication controller "/dev/mcc/ctl". MCC_ALLOCATE
// turns an open into a controller channel, numbered with the lowest free
// TDM channel of a configurable pool (16 channels from 256 unless set);
// MCC_TIMESLOT answers that number. The driver offers a number of channels
// for each use (data, counting SS7 channels too; BRI; transparent), which
// MCC_RESOURCES reports on any open. Refused with EINVAL: a kind above 3, a
// non-zero reserved word, packet size 0, MCC_TIMESLOT or a write before the
// allocation, an empty frame; EBUSY: a second allocation on one open;
// ENOSPC: a full pool, or no channel left for the kind's use; EBADF: a
// write on a read-only open.
//
// Transmit path: a written frame goes into the daemon's own socket, so its
// send buffer is the controller's transmit queue and a full queue gives a
// real EAGAIN and, once drained, a real POLLOUT. setTransmitBuffer() bounds
// that buffer (the kernel doubles the value and keeps a minimum of a few
// kilobytes). The controller sends a channel's frames at once unless its
// transmitter is held; hold() lets frames pile up, release() sends them.
// A sent frame is kept in the channel's bounded log and, when the channel is
// patched to another, arrives there as one received frame; a line has no
// flow control, so a frame the partner's daemon has no room for, or that
// finds the partner closed, is lost and counted there. Patches and holds
// belong to channel numbers and outlive the opens. receive() injects a
// received frame; an empty one reads as 0 bytes. hangUp() and breakDown()
// fail a channel's open (SimDriver).
//
// A transparent channel carries a byte stream, moved in buffers of its
// packet size: a write takes what fits of the transmit queue, buffer by
// buffer (a short count when the queue fills, EAGAIN when nothing fits), and
// received bytes are read a buffer at a time.
//
// A paced channel sends at a line rate instead of at once: on each tick of
// the board's clock the line takes the next buffer from the transmit queue
// when what it already took plays out within one buffer's time, so the
// queue (a few kilobytes on a paced channel) drains at the rate and the
// daemon sees EAGAIN and POLLOUT as it would on the board. The channel
// counts the bytes it played and its longest gap: the longest time the line
// ran dry between two buffers once it had started. Pacing belongs to the
// channel number; the counts start again with each allocation and each
// setting of the pace.
//
// Command words (after "/dev/mcc/ctl"); <c> is a channel number:
//   pool <first> <count>   channels later allocations take
//   counts [<data> <bri> <transparent>]
//                          the channels offered for each use; without
//                          numbers "data=8 bri=4 transparent=4 in-use=1"
//   buffer <bytes>         transmit bound of the daemon's descriptors (0:
//                          the kernel's)
//   channels               the allocated channels, blank separated
//   state <c>              "open=yes kind=3 size=512 reserved=0 rx=1 tx=4
//                          partner=18 held=no sent=2 lost=0" (the record is
//                          the channel's last allocation; partner -1: none)
//   patch <a> <b>          frames sent on a arrive on b and back (a = b:
//                          loop)
//   unpatch <c>
//   hold <c>, release <c>  stop and restart the transmitter
//   rx <c> [<hex>]         a received frame (bytes of a transparent channel)
//   tx <c>                 the frames sent (the newest the log
//                          keeps), oldest first, one a line in hex
//   clear <c>              forgets them
//   hangup <c>, fail <c>   fail the channel's open
//   pace <c> <bytes/s>     paces the channel (0: sends at once again)
//   pace all <bytes/s>     paces every channel of the pool
//   pace <c>               "pace=8000 played=16384 gap_us=1250"
//   attach <c> <path>      hands the channel to a process outside the
//                          daemon: a SOCK_SEQPACKET socket listens at <path>
//                          below the filesystem root, one datagram a frame
//                          both ways (SimMccPeer); attaching ends a patch
//                          and patching ends an attachment
//   detach <c>             closes that socket
// and raw, hangup, fail without a channel for every open (SimDriver).
class SimMcc : public SimDriver {
public:
    static constexpr const char* kPath = "/dev/mcc/ctl";
    // A channel's log keeps the newest kFrameLogLimit frames it sent, of at
    // most kFrameLogBytes together.
    static const size_t kFrameLogLimit = 1024;
    static const size_t kFrameLogBytes = 64 * 1024;
    // The longest frame the log keeps whole (the daemon's packet size).
    static constexpr ssize_t kFrameLimit = 65536;
    // Driver channel numbers lie below the switch's bus outputs.
    static const int kChannelLimit = 8192;

    using Frame = std::vector<uint8_t>;
    // The send buffer of a paced channel's daemon end: the transmit queue
    // the line drains.
    static constexpr int kPacedBuffer = 4096;
    static const uint32_t kMaxPace = 100000000;

    // A paced line since the channel's allocation, in microseconds of the
    // board's clock.
    struct Pacing {
        bool started = false;     // the line has played a buffer
        uint64_t playedUntil = 0; // when what it took has played out
        uint64_t played = 0;      // bytes
        uint64_t longestGap = 0;
        bool buffered = false;    // the daemon end's queue is bounded
    };

    struct Channel {
        SimHandle* open = nullptr;   // the open that holds the channel
        Mcc::Allocate allocation{};  // the last allocation record
        int partner = -1;
        bool held = false;
        std::deque<Frame> sent;
        size_t sentBytes = 0;  // in `sent`
        uint32_t lost = 0;
        uint32_t pace = 0;  // bytes per second; 0: not paced
        Pacing pacing;
    };

    // The channels offered for each use.
    struct Counts {
        uint32_t data = 8;
        uint32_t bri = 4;
        uint32_t transparent = 4;
    };

    SimMcc();

    bool setChannelPool(int first, int count);
    void setCounts(const Counts& counts) { counts_ = counts; }
    void setTransmitBuffer(int bytes) { transmitBuffer_ = bytes; }

    // A channel no allocation or command touched reads as free and idle.
    const Channel& channel(int number) const;
    std::vector<int> allocated() const;
    // The channel `h` holds, or -1.
    int channelOf(const SimHandle& h) const;

    // Each returns false for a number that is no driver channel.
    bool patch(int a, int b);
    bool unpatch(int c);
    bool hold(int c);
    bool release(int c);
    bool clearSent(int c);
    // The request log and every channel's sent frames.
    void clearLogs() override;
    // False also when the channel has no open or its daemon has no room.
    bool receive(int c, const Frame& frame);
    bool hangUp(int c);
    bool breakDown(int c);
    // Paces channel `c` at `rate` bytes per second (0: no pacing) and
    // starts its counts again.
    bool setPace(int c, uint32_t rate);

    // The line's time: every paced channel with an open plays up to `nowUs`.
    bool ticking() const override;
    void tick(uint64_t nowUs) override;
    // Hands channel `c` to an outside process listening at `path` (an
    // absolute path below the filesystem root); false when the path is not
    // acceptable or the socket cannot be made.
    bool attach(int c, const std::string& path);
    bool detach(int c);
    using SimDriver::breakDown;
    using SimDriver::hangUp;

    void onClose(SimHandle& h) override;
    ssize_t onWrite(SimHandle& h, int fd, const void* buf, size_t len) override;
    std::string control(const std::vector<std::string>& words) override;

private:
    static bool isChannel(long c) { return c >= 0 && c < kChannelLimit; }
    static bool isStream(const Channel& c) { return c.allocation.kind == Mcc::kTransparent; }
    // The buffer size of a transparent channel.
    static size_t unit(const Channel& c);
    enum Use { kDataUse, kBriUse, kTransparentUse };
    static Use useOf(uint32_t kind);
    // The channels offered for a use, and those allocated for it.
    uint32_t offered(Use use) const;
    uint32_t holding(Use use) const;
    int allocate(SimHandle& h, const Mcc::Allocate& r);
    int resources(Mcc::Resources& r) const;
    ssize_t sendStream(const Channel& c, int fd, const uint8_t* data, size_t len);
    // Hands received bytes to the daemon's end of channel `c`; false when
    // some did not fit.
    bool emitTo(int c, SimHandle& h, const Frame& data);
    int timeslot(const SimHandle& h) const;
    SimHandle* liveOpen(int c) const;
    void drain(int c);
    // Plays channel `c` up to `nowUs` at its pace.
    void play(int c, SimHandle& h, uint64_t nowUs);
    std::string paceCommand(const std::vector<std::string>& words);
    void deliver(int from, const Frame& frame);

    std::string channelCommand(const std::vector<std::string>& words);
    std::string stateCommand(int c) const;
    std::string countsCommand(const std::vector<std::string>& words);

    std::map<int, Channel> channels_;
    std::map<int, std::unique_ptr<SimMccPeer>> peers_;
    Frame scratch_;
    int poolFirst_ = 256;
    int poolCount_ = 16;
    int transmitBuffer_ = 0;
    Counts counts_;
};

#endif
