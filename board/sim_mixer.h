#ifndef KORVAND_BOARD_SIM_MIXER_H
#define KORVAND_BOARD_SIM_MIXER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "board/mixer_driver.h"
#include "board/sim_control.h"
#include "board/sim_driver.h"

// The mixer driver "/dev/mixer". It holds mixers by unit, each with its
// sizes and a sums table: for each channel that receives a sum, the
// channels added into it with their gains. MIX_ENUM answers the mixers in
// unit order; MIX_TDM answers the channel's board TDM channel, kFirstTdm +
// unit x kUnitSpan + number. Refused: a unit the driver does not report
// (ENODEV), a type other than tdm or a channel outside its mixer (EINVAL),
// a term whose two channels lie in different mixers (EINVAL), the removal
// of a term the sum does not hold (ENOENT), MIX_ENUM after the last mixer
// (ENODEV). A term added again takes the new gain.
//
// The standard board: unit 0 with 32 TDM channels and 128 inputs, unit 1
// with 24 and 96.
//
// Command words (after "/dev/mixer"):
//   mixers                        one line per mixer: "unit=0 tdm=32 inputs=128"
//   mixer <unit> <tdm> <inputs>   adds a mixer, or changes its sizes (its
//                                 sums stay); unit 0 to 111, tdm 1 to 64
//   remove <unit>                 the driver no longer reports the mixer
//   sums <unit> [<channel>]       one line per receiving channel, in order:
//                                 "<rx>: <tx>@<gain> <tx>@<gain>" (nothing
//                                 when no channel receives a sum)
//   log [<name>|clear]            the request log (SimControl::log)
// and raw, hangup, fail (SimDriver).
class SimMixer : public SimDriver {
public:
    static constexpr const char* kPath = "/dev/mixer";
    static const int32_t kFirstTdm = 1024;
    static const int32_t kUnitSpan = 64;
    static const int32_t kMaxUnit = 111;

    // tx channel -> gain
    using Sum = std::map<int32_t, int32_t>;
    // rx channel -> its sum (never empty)
    using Sums = std::map<int32_t, Sum>;

    struct Unit {
        int32_t tdm = 0;
        int32_t inputs = 0;
        Sums sums;
    };

    SimMixer();

    // False for a unit or size out of range.
    bool setMixer(int32_t unit, int32_t tdm, int32_t inputs);
    bool removeMixer(int32_t unit);
    // The sums of a mixer; empty for a unit the driver does not report.
    const Sums& sums(int32_t unit) const;
    const std::map<int32_t, Unit>& mixers() const { return units_; }

    std::string control(const std::vector<std::string>& words) override;

private:
    using Words = SimControl::Words;

    // The channel's mixer, or null with errno set.
    Unit* channel(const mix_slot& s);
    int clear(const mix_slot& s);
    int add(const mix_rx& r);
    int remove(const mix_rx& r);
    int tdm(const mix_slot& s);
    int enumerate(mix_info& info) const;

    std::string mixersCommand(const Words& args);
    std::string mixerCommand(const Words& args);
    std::string removeCommand(const Words& args);
    std::string sumsCommand(const Words& args);
    std::string logCommand(const Words& args);

    std::map<int32_t, Unit> units_;
};

#endif
