#ifndef KORVAND_BOARD_SIM_TONE_DSP_H
#define KORVAND_BOARD_SIM_TONE_DSP_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "board/dtmf_driver.h"
#include "board/sim_driver.h"

// The tone DSP "/dev/dtmf". It keeps per time slot what the requests set
// (detector thresholds and state, the last enable id, IVA, DTMF rejection,
// the echo canceller, the generator) and a timeline of the generator
// requests, so a test can check what was dialled and when. Time slots are
// TDM channel numbers; others are refused with EINVAL, as is an enable with
// id 0 (an id that could not be told from "never enabled").
//
// Injected events go to every open of the device, whatever the detector
// state, so a test also sees how the daemon filters them. An event carries
// the time slot's last enable id (0 before any) unless one is given, and the
// model clock as its timestamp.
//
// Command words (after "/dev/dtmf"); <id> overrides the enable id:
//   dtmf <ts> <digits> [<id>]   one DTMF event per digit of 0-9 * # A-D
//   ced <ts> [<id>]             fax answer tone
//   cng <ts> [<id>]             fax calling tone
//   iva <ts> <1..20> [<id>]     IVA code
//   ringoff <ts> [<id>]         IVA ring-off
//   code <ts> <code> [<id>]     any event code
//   state <ts>                  "dtmf=on id=3 iva=off reject=off lms=off
//                               twist=.. ratio=.. silence=.. noise=..
//                               iva_level=.. generator=f1,f2,l1,l2"
//                               (configuration values "-" until set)
//   timeline [<ts>]             the generator requests, one a line:
//                               "<ms> <ts> dial <f1> <f2> <l1> <l2>" or
//                               "<ms> <ts> selcal <amplitude> <signs>"
//   clear                       forgets the timeline
// and raw, hangup, fail (SimDriver).
class SimToneDsp : public SimDriver {
public:
    static constexpr const char* kPath = "/dev/dtmf";

    struct Channel {
        bool configured = false;
        Tonec::DetectorConfig config{};
        bool dtmf = false;  // DTMF detector on
        uint32_t id = 0;    // last enable id
        bool iva = false;
        bool ivaConfigured = false;
        int32_t ivaLevel = 0;
        bool rejection = false;
        bool lms = false;
        Tonec::Dial generator{};  // all zero while off
    };

    // One generator request as the timeline keeps it.
    struct Step {
        enum Kind { Dial, Selcal };
        Kind kind;
        uint32_t at;  // model clock, ms
        uint32_t timeslot;
        uint16_t freq1, freq2, level1, level2;  // Dial
        uint16_t amplitude;                     // Selcal
        std::string signs;                      // Selcal
    };

    static const size_t kTimelineLimit = 4096;

    SimToneDsp();

    // A time slot no request touched reads as all off.
    Channel channel(uint32_t timeslot) const;
    const std::deque<Step>& timeline() const { return timeline_; }
    std::vector<Step> timeline(uint32_t timeslot) const;
    void clearTimeline() { timeline_.clear(); }

    // The clock of timeline entries and event timestamps in ms; by default
    // the monotonic clock. A test may hand in its own.
    void setClock(std::function<uint32_t()> clock) { clock_ = std::move(clock); }

    // Event injection; false when the time slot or the value is out of
    // range or no open took the record.
    bool emitDtmf(uint32_t timeslot, char digit);
    bool emitCed(uint32_t timeslot);
    bool emitCng(uint32_t timeslot);
    bool emitIva(uint32_t timeslot, uint32_t code);
    bool emitRingOff(uint32_t timeslot);
    bool emitCode(uint32_t timeslot, uint32_t code);
    bool emitCode(uint32_t timeslot, uint32_t code, uint32_t id);

    static int dtmfCode(char digit);  // -1 for a character that is no digit

    std::string control(const std::vector<std::string>& words) override;

private:
    int configure(const Tonec::DetectorConfig& r);
    int enable(const Tonec::DetectorEnable& r);
    int dial(const Tonec::Dial& r);
    int configureIva(const Tonec::IvaConfig& r);
    int selcal(const Tonec::SelcalDial& r);
    // The plain time-slot requests that switch one flag.
    void serveSwitch(unsigned long request, bool Channel::*flag, bool on);
    void addStep(Step step);

    std::string emitCommand(const std::vector<std::string>& words);
    std::string stateCommand(const std::vector<std::string>& words) const;
    std::string timelineCommand(const std::vector<std::string>& words) const;

    SimTimeslots<Channel> channels_;
    std::deque<Step> timeline_;
    std::function<uint32_t()> clock_;
};

#endif
