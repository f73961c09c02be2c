#ifndef KORVAND_BOARD_SIM_MODEM_H
#define KORVAND_BOARD_SIM_MODEM_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "board/modem_driver.h"
#include "board/sim_request_model.h"

// The DSP modem driver "/dev/mctl": a number of modems (4 unless set),
// numbered from 0, modem n on TDM channel 320 + n. MDM_ENUM walks the
// numbers (ENODEV after the last, EINVAL for a number that is none).
// MDM_ALLOCATE gives an open the lowest free modem, which it holds until
// it is closed (ENOSPC: none free; EBUSY: the open holds one already);
// MDM_TIMESLOT answers the held modem's channel (EINVAL before the
// allocation). Every record request names the modem in its first word and
// is refused with EINVAL unless the open holds that modem; the requests
// whose second word is unused refuse any value there but -1. MDM_SET_DDM
// takes masks 0 to 7, MDM_SET_DMP indexes 0 to 255. The answer and
// originate requests start the modem's call (EBUSY while one is up).
// A modem's settings stay readable after its open closes, until it is
// allocated again.
//
// Command words (after "/dev/mctl"):
//   modems [<count>]   "count=4 allocated=0 2"; with a count, the modems
//                      the driver offers from now on (1 to 64)
//   state <m>          "allocated=yes ddm=5 dmp=1:7,2:9 resets=1
//                      call=answer" (call none, answer, originate or
//                      fax-originate)
//   log ...            the request log summary (SimControl::log); request
//                      names: enum, allocate, timeslot, set-ddm,
//                      reset-dmp, set-dmp, answer, originate, fax-originate
class SimModem : public SimRequestModel {
public:
    static constexpr const char* kPath = Mdm::kDevice;
    static constexpr int kFirstChannel = 320;
    static constexpr int kMaxModems = 64;

    struct Modem {
        SimHandle* holder = nullptr;
        uint32_t ddm = 0;
        std::map<int32_t, int32_t> dmp;
        int resets = 0;
        std::string call = "none";
    };

    SimModem();

    bool setModems(int count);
    int modems() const { return count_; }
    // A modem no request touched reads as free and idle.
    const Modem& modem(int number) const;
    std::vector<int> allocated() const;

    void onClose(SimHandle& h) override;
    std::string control(const std::vector<std::string>& words) override;

protected:
    int onRecord(SimHandle& h, unsigned long request, void* arg) override;
    int onValue(SimHandle& h, unsigned long request, long arg) override;

private:
    using Words = std::vector<std::string>;

    int next(long previous) const;
    int allocate(SimHandle& h);
    // The modem `h` holds, or -1.
    int heldBy(const SimHandle& h) const;
    // The modem a record names, when `h` holds it; null with errno set.
    Modem* named(SimHandle& h, int32_t number);
    int call(Modem& m, const Mdm::ModemWord& r, const char* what);

    std::string cmdModems(const Words& args);
    std::string cmdState(const Words& args);

    std::map<int, Modem> modems_;
    int count_ = 4;
};

#endif
