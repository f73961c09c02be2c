#ifndef KORVAND_BOARD_SIM_VOICE_H
#define KORVAND_BOARD_SIM_VOICE_H

#include <map>
#include <string>
#include <vector>

#include "board/sim_driver.h"
#include "board/voice_driver.h"

// The voice driver "/dev/voice": answers the capacity query of each codec
// mask from a table (masks it does not know answer 0), and its version
// record: the text "sim voice 1.0", zero-filled to 20 bytes, unless set.
//
// Command words (after "/dev/voice"):
//   capacity <mask> [<n>]     reads or sets the capacity of a mask
//   version [<text>]          reads or sets the version record's text (at
//                             most 20 characters)
// and raw, hangup, fail (SimDriver).
class SimVoice : public SimDriver {
public:
    static constexpr const char* kPath = "/dev/voice";

    // The standard board: 32 G.729, 16 G.723, 64 G.711, no G.711 MCC and
    // 8 universal channels.
    SimVoice();

    void setCapacity(int mask, int capacity) { capacity_[mask] = capacity; }
    int capacity(int mask) const;
    // False when `text` is longer than the record.
    bool setVersion(const std::string& text);
    const Voice::VersionRecord& version() const { return version_; }

    std::string control(const std::vector<std::string>& words) override;

private:
    std::string versionCommand(const std::vector<std::string>& words);

    std::map<int, int> capacity_;
    Voice::VersionRecord version_{};
};

#endif
