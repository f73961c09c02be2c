#ifndef KORVAND_BOARD_SIM_MCC_PEER_H
#define KORVAND_BOARD_SIM_MCC_PEER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board/sim_poller.h"

// The far end of one simulated MCC channel, in another process: a
// SOCK_SEQPACKET socket listening at a path, where one process at a time
// connects. Each datagram is one frame, both ways: what the daemon sends on
// the channel goes to the process, what the process sends is received on
// the channel. A process that goes away leaves the socket listening for the
// next one; frames sent meanwhile are lost.
class SimMccPeer {
  public:
    using Frame = std::vector<uint8_t>;

    // `receive` takes each frame the connected process sends.
    SimMccPeer(SimPoller& poller, std::function<void(const Frame&)> receive);
    ~SimMccPeer();
    SimMccPeer(const SimMccPeer&) = delete;
    SimMccPeer& operator=(const SimMccPeer&) = delete;

    // Listens at `path` (a file path, already below the root).
    bool listen(const std::string& path);
    // A peer listening at `path`, an absolute path without ".." taken below
    // the filesystem root; null when the path is not acceptable or the
    // socket cannot be made.
    static std::unique_ptr<SimMccPeer> belowRoot(SimPoller& poller, const std::string& path,
                                                 std::function<void(const Frame&)> receive);
    bool connected() const { return conn_ >= 0; }
    // False when no process is connected or its socket has no room.
    bool send(const Frame& frame);

  private:
    void accept();
    void read();
    void hangUp();

    SimPoller& poller_;
    std::function<void(const Frame&)> receive_;
    std::string path_;
    int listen_ = -1;
    int conn_ = -1;
};

#endif
