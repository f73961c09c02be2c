#ifndef KORVAND_BOARD_SIM_DEVICE_H
#define KORVAND_BOARD_SIM_DEVICE_H

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class SimDevice;
class SimPoller;

// Per-open state a model may attach to a handle.
struct SimState {
    virtual ~SimState() = default;
};

// One open of a simulated device node: the daemon holds one end of a socket
// pair, the model the other (`peer`). Records the model emits on `peer`
// become readable on the daemon's end, so poll, EAGAIN and POLLHUP behave as
// they would with the driver.
struct SimHandle {
    SimDevice* device = nullptr;
    int peer = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    int openFlags = 0;
    std::unique_ptr<SimState> state;
};

// A request the model received, kept in a bounded log for tests (the
// written bytes of a write in `data`).
struct SimRequest {
    enum Kind { Open, Ioctl, IoctlValue, Write, Close };
    Kind kind;
    unsigned long request = 0;
    long value = 0;
    std::vector<uint8_t> data;
};

// The model of one device node. It answers requests, emits event records,
// logs what it received and can be told to fail an open or a request.
class SimDevice {
public:
    // The request log keeps the newest kLogLimit requests (a model may keep
    // more), holding at most kLogDataLimit written bytes.
    static constexpr size_t kLogLimit = 1024;
    static constexpr size_t kLogDataLimit = 16 * 1024;

    explicit SimDevice(std::string path, int socketType);
    virtual ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    const std::string& path() const { return path_; }
    int socketType() const { return socketType_; }

    // Model hooks; the defaults refuse requests and writes.
    virtual void onOpen(SimHandle&) {}
    virtual void onClose(SimHandle&) {}
    virtual int onIoctl(SimHandle& h, unsigned long request, void* arg);
    virtual int onIoctlValue(SimHandle& h, unsigned long request, long arg);
    // `fd` is the daemon's descriptor the write came through.
    virtual ssize_t onWrite(SimHandle& h, int fd, const void* buf, size_t len);
    // A request on an ordinary socket of the daemon rather than on an open
    // of a device (the network-interface requests): the board offers it to
    // the first model that serves its number.
    virtual bool servesSocketRequest(unsigned long) const { return false; }
    virtual int onSocketRequest(unsigned long request, void* arg);
    // True when the board may route `request` by the descriptor number
    // alone (see SimBoard::handleFor): the model answers it alike through
    // every open of the device, keeping no state per open for it, and no
    // other device of the board serves its number.
    virtual bool routedByNumber(unsigned long) const { return false; }

    // A model whose device runs on its own time (a line that sends at its
    // rate) says so while it does; the board then calls tick with its
    // monotonic clock, in microseconds, about every SimBoard::kTickMs.
    virtual bool ticking() const { return false; }
    virtual void tick(uint64_t /*nowUs*/) {}

    // A text command from the board's control socket (the words after the
    // device path), so a test can drive the model of a running daemon:
    // inject an event, change a line state, read back what the daemon did.
    // Returns the reply; replies that start with "error:" report failure.
    virtual std::string control(const std::vector<std::string>& words);

    // Fault injection. `count` < 0 fails every call until cleared with err 0.
    void failOpen(int err, int count = -1);
    void failRequest(unsigned long request, int err, int count = -1);
    void failWrite(int err, int count = -1);

    // Emits one record to the daemon's end of `h` (or of every open handle).
    bool emit(SimHandle& h, const void* data, size_t len);
    void emitAll(const void* data, size_t len);

    // The board's poller, for models that watch descriptors of their own;
    // null for a model not added to a board.
    void setPoller(SimPoller* poller) { poller_ = poller; }
    SimPoller* poller() const { return poller_; }

    const std::deque<SimRequest>& log() const { return log_; }
    void clearLog() {
        log_.clear();
        logData_ = 0;
    }
    // Empties the request log and whatever else the model records of the
    // traffic it saw.
    virtual void clearLogs() { clearLog(); }
    std::vector<SimHandle*> handles() const;

    // Used by SimBoard.
    int takeOpenFault();
    int takeRequestFault(unsigned long request);
    int takeWriteFault();
    void record(SimRequest r);
    void attachHandle(SimHandle* h) { handles_.push_back(h); }
    void detachHandle(SimHandle* h);

protected:
    // A model whose tests look further back keeps more requests.
    void setLogLimit(size_t requests) { logLimit_ = requests; }

private:
    struct Fault {
        int err = 0;
        int count = 0;
    };
    static int take(Fault& f);

    std::string path_;
    int socketType_;
    Fault openFault_;
    Fault writeFault_;
    std::map<unsigned long, Fault> requestFaults_;
    std::deque<SimRequest> log_;
    size_t logLimit_ = kLogLimit;
    size_t logData_ = 0;  // written bytes in the log
    std::vector<SimHandle*> handles_;
    SimPoller* poller_ = nullptr;
};

#endif
