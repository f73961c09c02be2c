#ifndef KORVAND_MONITORING_FRAMER_DATA_HOLDER_H
#define KORVAND_MONITORING_FRAMER_DATA_HOLDER_H

#include <string>
#include <vector>

#include "asn1/gen/acp.h"

// The monitored state of one E1 framer, from the framer driver's
// information file under "/proc/driver/hdlc/peb22554/" and from the trunk
// states the E1 control announces.
class FramerDataHolder {
  public:
    // The most the driver's information file is read at once.
    static constexpr size_t kMaxText = 1024;

    FramerDataHolder(int index, const std::string& path);

    // Parses the bytes read from the information file (no terminating NUL
    // is expected: exactly text.size() bytes are read). True when any field
    // changed.
    bool setFramerStatus(const std::vector<unsigned char>& text);
    // Takes a trunk state's description. True when the description changed.
    bool setFramerStatus(ACP::TrunkState state);

    enum ReadResult { kRead, kOpenFailed, kReadFailed };
    // Reads the information file (below the filesystem root) in one read
    // of at most kMaxText bytes into `text`. kReadFailed also for an empty
    // file; errno tells the failure.
    ReadResult readFramerFile(std::vector<unsigned char>& text) const;

    bool connected;
    std::string statusDsc;
    bool signalLoss;
    bool frameAlignLoss;
    int negSlipCount;
    int posSlipCount;
    int framerIndex;  // 1 to 4
    std::string procPath;

  private:
    bool setLine(const char* line, size_t len);
    bool setState(const std::string& description, bool nowConnected);
};

#endif
