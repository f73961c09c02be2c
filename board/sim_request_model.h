#ifndef KORVAND_BOARD_SIM_REQUEST_MODEL_H
#define KORVAND_BOARD_SIM_REQUEST_MODEL_H

#include <string>
#include <vector>

#include "board/sim_device.h"

// A device model whose requests each take either a record by pointer or a
// plain integer, as the driver's request table fixes. It routes both ways of
// calling as the kernel would see them: a plain-integer request reached with
// a pointer gets the pointer's value (a mistaken pointer then fails the
// model's range check), a record request without a record fails with
// EFAULT, an unknown request with ENOTTY, any request through an open the
// driver has hung up with EIO.
class SimRequestModel : public SimDevice {
public:
    struct Request {
        unsigned long number;
        const char* name;  // in the log summary
        bool plainInteger;
    };

    SimRequestModel(std::string path, int socketType, std::vector<Request> requests);

    int onIoctl(SimHandle& h, unsigned long request, void* arg) final;
    int onIoctlValue(SimHandle& h, unsigned long request, long arg) final;

protected:
    // `arg` is the caller's record, never null, possibly unaligned.
    virtual int onRecord(SimHandle& h, unsigned long request, void* arg) = 0;
    virtual int onValue(SimHandle& h, unsigned long request, long arg) = 0;

    // The "log" command with the request names (see SimControl::log).
    std::string logCommand(const std::vector<std::string>& args);

private:
    const Request* find(unsigned long number) const;

    std::vector<Request> requests_;
};

// Replies with errno set: -1.
int simRefuse(int err);

#endif
