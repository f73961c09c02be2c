#ifndef KORVAND_BOARD_SIM_VOICE_DSP_H
#define KORVAND_BOARD_SIM_VOICE_DSP_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "board/dsp_driver.h"
#include "board/sim_driver.h"

// The voice-processing DSP "/dev/dsp". It answers its interface version and
// keeps per time slot what the requests set: each function's state and the
// id of its last enable, the configurations, and the tone filters by
// frequency. It refuses with EINVAL time slots that are no TDM channel,
// functions a request cannot take (see DSProc::Function), enables with id
// 0, disables with an id, and parameter bytes that must be zero but are not.
// An enable that names a mute flag sets both mute flags as named.
//
// Injected events go to every open of the device, whatever the functions'
// states, so a test also sees how the daemon filters them. VAD, SD and BSS
// events carry the id of the function's last enable unless one is given;
// tone-filter and flags events carry id 0.
//
// Command words (after "/dev/dsp"); a negative VAD value leaves that
// direction out of the record:
//   vad <ts> <rx> <tx> [<id>]        VAD event
//   sd <ts> <sd_rx> [<id>]           SD event
//   bss <ts> <score> [<id>]          BSS event, score a decimal fraction
//   tone <ts> <freq> <presence>      tone-filter event
//   flags <ts> <flags> <mask>        flags event
//   event <ts> <id> <type> <w0> <w1> <w2>   any record
//   version [<n>]                    reads or sets the interface version
//   state <ts>                       "vad=on vad_id=4 sd=.. sd_id=.. bss=..
//                                    bss_id=.. ng=.. ng_id=.. selcal_sh=..
//                                    selcal_sh_id=.. mute=1,0 mute_id=..
//                                    vad_config=<24 hex digits>|- sd_config=on|off
//                                    delays=rx,tx,selcal|- gain=<dB>|-
//                                    filters=freq:en:dur:lvl,...|-"
// and raw, hangup, fail (SimDriver).
class SimVoiceDsp : public SimDriver {
public:
    static constexpr const char* kPath = "/dev/dsp";

    struct Function {
        bool on = false;
        uint32_t id = 0;  // last enable id
    };

    struct Channel {
        Function vad, sd, bss, ng, selcalSh;
        bool mute1 = false, mute2 = false;
        uint32_t muteId = 0;
        bool vadConfigured = false;
        uint8_t vadParams[12] = {};  // as the request gave them
        bool sdConfigured = false;
        bool delaysSet = false;
        DSProc::DelaysParams delays{};
        bool gainSet = false;
        int8_t gain_dB = 0;
        std::map<uint16_t, DSProc::ToneFilterParams> filters;  // by frequency
    };

    SimVoiceDsp();

    void setVersion(int version) { version_ = version; }
    int version() const { return version_; }

    // A time slot no request touched reads as all off.
    Channel channel(uint32_t timeslot) const;

    // Event injection; false when the time slot is no TDM channel or no
    // open took the record.
    bool emitVad(uint32_t timeslot, int32_t vadRx, int32_t vadTx);
    bool emitSd(uint32_t timeslot, int32_t sdRx);
    bool emitBss(uint32_t timeslot, float score);
    bool emitToneFilter(uint32_t timeslot, uint32_t freq, int32_t presence);
    bool emitFlags(uint32_t timeslot, uint32_t flags, uint32_t mask);
    bool emitEvent(const DSProc::Event& e);

    std::string control(const std::vector<std::string>& words) override;

private:
    int configure(const DSProc::Configure& r);
    int enable(const DSProc::Enable& r);
    int disable(const DSProc::Enable& r);
    int reportVersion(long arg) const;
    // The function records of `bits` that enable and disable set.
    static std::vector<Function*> functions(Channel& c, uint32_t bits);

    std::string emitCommand(const std::vector<std::string>& words);
    std::string versionCommand(const std::vector<std::string>& words);
    std::string stateCommand(const std::vector<std::string>& words) const;

    SimTimeslots<Channel> channels_;
    int version_ = 2;
};

#endif
