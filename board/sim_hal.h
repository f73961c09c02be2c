#ifndef KORVAND_BOARD_SIM_HAL_H
#define KORVAND_BOARD_SIM_HAL_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/sim_device.h"

class SimSwitch;

// One family of requests that the switch driver serves (the time-slot
// switch, the bus clock, the SPI register banks). The driver node routes each
// request by its number to the family that claimed it.
class SimHalFamily {
public:
    virtual ~SimHalFamily() = default;

    // The request numbers this family answers.
    virtual std::vector<unsigned long> requests() const = 0;

    // Answers one of them. `arg` is the caller's record, never null, and
    // possibly unaligned. Returns the request's result, or -1 with errno.
    virtual int onRequest(SimHandle& h, unsigned long request, void* arg) = 0;

    // The word that addresses the family in the driver's control commands
    // ("/dev/hal <word> ..."), or null when it takes none; control() gets
    // the words after it.
    virtual const char* controlWord() const { return nullptr; }
    virtual std::string control(const std::vector<std::string>& words);

    // A short name of one of its requests for the request log summary, or
    // null.
    virtual const char* requestName(unsigned long) const { return nullptr; }
};

// The switch driver "/dev/hal". Every open shares one state per family; the
// time-slot switch is always present, further families are added with add().
// Request faults and the request log come from SimDevice.
//
// Control commands, "/dev/hal <words>": "log ..." (SimControl::log, with the
// families' request names), and the words of each family after its control
// word: "bus" (SimSwitch), "clock" (SimBusClock), "monitor" (SimHalMonitor),
// "spi" (SimSpi).
class SimHal : public SimDevice {
public:
    static constexpr const char* kPath = "/dev/hal";
    // The request log holds two sweeps of the switch's refresh, which
    // disables each of the 2,048 bus outputs again.
    static constexpr size_t kLogRequests = 4096;

    SimHal();
    ~SimHal() override;

    // Routes `family`'s requests to it. A request number that an added
    // family serves already is a set-up mistake: it ends the process.
    SimHalFamily& add(std::unique_ptr<SimHalFamily> family);

    // The first added family of type F, or null.
    template <class F>
    F* family() const {
        for (const auto& f : families_)
            if (F* match = dynamic_cast<F*>(f.get())) return match;
        return nullptr;
    }

    SimSwitch& switchPart() const { return *switch_; }

    // Requests nobody claimed fail with ENOTTY; a claimed request without a
    // record, or given a plain integer, with EFAULT (as copying it would).
    int onIoctl(SimHandle& h, unsigned long request, void* arg) override;
    int onIoctlValue(SimHandle& h, unsigned long request, long arg) override;
    // The switch's requests: one state for all opens, and numbers that no
    // other driver uses (not so the bus clock's select, which is also the
    // CAS driver's close).
    bool routedByNumber(unsigned long request) const override;

    std::string control(const std::vector<std::string>& words) override;

private:
    SimHalFamily* route(unsigned long request) const;

    std::vector<std::unique_ptr<SimHalFamily>> families_;
    std::map<unsigned long, SimHalFamily*> routes_;
    SimSwitch* switch_;
};

#endif
