#ifndef KORVAND_BOARD_SIM_DRIVER_H
#define KORVAND_BOARD_SIM_DRIVER_H

#include <errno.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "board/sim_device.h"
#include "board/sim_record.h"

// A driver model that keeps record boundaries and declares its requests in
// a table. Each request takes a record by pointer, a plain integer, or no
// argument, and the table refuses a call that passes the other kind, as the
// driver would misread it: a missing record (null pointer, or an integer
// given where a record belongs) with EFAULT, a pointer given where a plain
// integer belongs with EINVAL. Requests not in the table fail with ENOTTY.
//
// It also makes an open fail the way the daemon sees a failed driver:
// hangUp() ends the descriptor (POLLHUP, reads return 0), breakDown() breaks
// it (POLLERR, the next read fails with ECONNRESET, then POLLHUP). The board
// forgets such an open at its next collect; until then its requests fail
// with EIO.
//
// Command words every such model answers (see SimDevice::control):
//   raw [<hex>]   emits the bytes as one record on every open; without hex
//                 an empty record, which the daemon reads as 0 bytes
//   hangup        hangs up every open
//   fail          breaks every open
class SimDriver : public SimDevice {
public:
    // The board's TDM channel numbers: driver channels below 8192 and the
    // switch's bus outputs 8192 to 10239.
    static const uint32_t kTdmChannels = 10240;
    static bool isTdmChannel(long channel) { return channel >= 0 && channel < long(kTdmChannels); }
    // A command word naming a TDM channel.
    static bool timeslotWord(const std::string& word, uint32_t& timeslot);

    explicit SimDriver(std::string path);

    int onIoctl(SimHandle& h, unsigned long request, void* arg) override;
    int onIoctlValue(SimHandle& h, unsigned long request, long arg) override;
    void onClose(SimHandle& h) override;
    std::string control(const std::vector<std::string>& words) override;

    bool hangUp(SimHandle& h);
    bool breakDown(SimHandle& h);
    bool isDown(const SimHandle& h) const;

    // Emits one record on every open that is not down; returns how many
    // took it.
    size_t emitToEvery(const void* data, size_t len);

protected:
    template <class Record>
    void serveRecord(unsigned long request, std::function<int(SimHandle&, const Record&)> handler);
    // A request whose record the driver reads and may fill in: the caller's
    // record takes the handler's changes unless the request fails.
    template <class Record>
    void serveReport(unsigned long request, std::function<int(SimHandle&, Record&)> handler);
    void serveValue(unsigned long request, std::function<int(SimHandle&, long)> handler);
    // A request without argument accepts either call form and ignores it.
    void serveBare(unsigned long request, std::function<int(SimHandle&)> handler);

    // Sets errno and returns -1, for handlers.
    static int refuse(int err);

private:
    enum Argument { ByRecord, ByValue, NoArgument };
    struct Entry {
        Argument argument;
        std::function<int(SimHandle&, void*, long)> handler;
    };
    void serve(unsigned long request, size_t size, Argument argument,
               std::function<int(SimHandle&, void*, long)> handler);

    std::map<unsigned long, Entry> requests_;
    std::vector<const SimHandle*> down_;
};

// A model's state per TDM time slot; a time slot no request touched reads
// as a default Channel.
template <class Channel>
class SimTimeslots {
public:
    // The time slot's state for a request to change, or null with EINVAL
    // when `timeslot` is no TDM channel.
    Channel* touch(long timeslot) {
        if (!SimDriver::isTdmChannel(timeslot)) {
            errno = EINVAL;
            return nullptr;
        }
        return &map_[static_cast<uint32_t>(timeslot)];
    }
    Channel get(uint32_t timeslot) const {
        auto it = map_.find(timeslot);
        return it == map_.end() ? Channel() : it->second;
    }

private:
    std::map<uint32_t, Channel> map_;
};

template <class Record>
void SimDriver::serveRecord(unsigned long request,
                            std::function<int(SimHandle&, const Record&)> handler) {
    serve(request, sizeof(Record), ByRecord, [handler](SimHandle& h, void* arg, long) {
        return handler(h, loadRecord<Record>(arg));
    });
}

template <class Record>
void SimDriver::serveReport(unsigned long request, std::function<int(SimHandle&, Record&)> handler) {
    serve(request, sizeof(Record), ByRecord, [handler](SimHandle& h, void* arg, long) {
        Record r = loadRecord<Record>(arg);
        int result = handler(h, r);
        if (result >= 0) storeRecord(arg, r);
        return result;
    });
}

#endif
