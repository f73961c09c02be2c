#ifndef KORVAND_HARDWARE_HW_TESTS_H
#define KORVAND_HARDWARE_HW_TESTS_H

#include <cstdint>

#include "asn1/gen/lgcp.h"
#include "core/ctrl_server.h"

class HwMux;

// The TDM bus test (`testBpc`): writes a run of bus channels with the
// pseudo-random bytes of a seed and reads them back, checks that the run
// carries the bytes of a seed that a peer board wrote, or disables the run.
// The bytes are those of glibc's srandom/random, so a peer that uses the
// same seed expects the same octets.
class HwTests : public CtrlSrv::Service {
public:
    // The one service of the process on the switch's instance.
    static HwTests* instance();

    explicit HwTests(HwMux& mux);

    void OnConnect() override {}
    void OnDisconnect() override {}
    // Takes `testBpc`: success, `busError` at the first channel that does
    // not carry its byte or that the switch would not disable,
    // `invalidParams` for a run that leaves its bus.
    bool OnCommand(const LGCP::Command& command) override;

private:
    enum Check { kRead, kWrite };

    // True when the test passed; else `cause` is the answer's error.
    bool Run(const LGCP::BpcTestParams& p, LGCP::ErrorCause::NamedNumber& cause);
    // Compares the run with the seed's bytes; false at the first mismatch,
    // after printing it.
    bool Compare(Check check);
    // Disables the run; false, after printing it, when the switch refused
    // a channel.
    bool DisableRun();

    HwMux& mux;
    uint32_t bus = 0;
    uint32_t first = 0;
    uint32_t end = 0;  // one past the last channel
    uint32_t seed = 0;
};

#endif
