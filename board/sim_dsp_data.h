#ifndef KORVAND_BOARD_SIM_DSP_DATA_H
#define KORVAND_BOARD_SIM_DSP_DATA_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/dsp_data_driver.h"
#include "board/sim_driver.h"
#include "board/sim_mcc_peer.h"

// The DSP data device "/dev/dsp-data": every open is one ATS Q.SIG
// interface, the lowest free of kInterfaces. Interface i has its signalling
// channel on TDM channel kFirstChannel + 4 i and its B channels 0 to 2 on
// the three channels after it. DSPDATA_SIGNALLING answers the signalling
// channel; DSPDATA_ADD_B adds a B channel (EINVAL for a number above 2,
// EBUSY when it is there) and DSPDATA_REMOVE_B removes one (EINVAL when it
// is not there or the TDM channel is not its own). A close removes them
// all. Frames are kept whole: one write sends one frame, into the
// interface's bounded log and, when a process is attached, to it; rx
// injects a received frame. A fifth open is refused with EBUSY.
//
// Command words (after "/dev/dsp-data"); <i> is an interface number:
//   state <i>            "open=yes signalling=512 b=1,0,0 sent=2 lost=0"
//   rx <i> <hex>         a received frame
//   tx <i>               the frames sent (the newest the log
//                        keeps), oldest first, one a line in hex
//   attach <i> <path>    hands the interface's frames to a process outside
//                        the daemon, as the MCC model does (SimMccPeer)
//   detach <i>
// and raw, hangup, fail for every open (SimDriver).
class SimDspData : public SimDriver {
public:
    static constexpr const char* kPath = "/dev/dsp-data";
    static const int kInterfaces = 4;
    static const int kFirstChannel = 512;
    // An interface's log keeps the newest kFrameLogLimit frames it sent, of
    // at most kFrameLogBytes together.
    static const size_t kFrameLogLimit = 1024;
    static const size_t kFrameLogBytes = 64 * 1024;

    using Frame = std::vector<uint8_t>;

    struct Interface {
        SimHandle* open = nullptr;
        bool b[3] = {};
        std::deque<Frame> sent;
        size_t sentBytes = 0;  // in `sent`
        uint32_t lost = 0;
    };

    SimDspData();

    // An interface no open touched reads as free.
    const Interface& interface(int i) const;
    static int signalling(int i) { return kFirstChannel + 4 * i; }
    // False when the interface has no open or its daemon has no room.
    bool receive(int i, const Frame& frame);
    bool attach(int i, const std::string& path);
    bool detach(int i);

    void onOpen(SimHandle& h) override;
    void onClose(SimHandle& h) override;
    ssize_t onWrite(SimHandle& h, int fd, const void* buf, size_t len) override;
    std::string control(const std::vector<std::string>& words) override;

private:
    static bool isInterface(long i) { return i >= 0 && i < kInterfaces; }
    int interfaceOf(const SimHandle& h) const;
    int addB(SimHandle& h, DspData::BChannel& r);
    int removeB(SimHandle& h, const DspData::BChannel& r);
    std::string stateCommand(int i) const;

    Interface interfaces_[kInterfaces];
    std::map<int, std::unique_ptr<SimMccPeer>> peers_;
};

#endif
