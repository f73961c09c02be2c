#ifndef KORVAND_BOARD_SIM_BOARD_H
#define KORVAND_BOARD_SIM_BOARD_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "board/board_io.h"
#include "board/sim_device.h"
#include "board/sim_poller.h"

struct stat;

// The simulated board. Opening a modelled device node makes a socket pair:
// the daemon gets one end, the model keeps the other. Requests and writes
// are answered by the model synchronously; events the model emits arrive
// on the daemon's end. Calls on descriptors that are not simulated devices
// pass through to the kernel.
class SimBoard : public BoardIo {
public:
    SimBoard();
    ~SimBoard() override;
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    // A board with a model for every device node the daemon uses.
    static std::unique_ptr<SimBoard> makeStandard();

    SimDevice& add(std::unique_ptr<SimDevice> device);
    SimDevice* device(const std::string& path) const;

    template <class Model>
    Model& model(const std::string& path) const {
        return dynamic_cast<Model&>(*device(path));
    }

    // Forgets the opens whose daemon end has been closed for good or hung
    // up by the model.
    void collect();
    // Checks every number the board lists against the open it names; the
    // board's end runs it too.
    void checkNumbers();
    // A number the board lists that no longer reaches the open it names was
    // closed around the board, with a plain close. The board finds such
    // numbers when the kernel hands one out again (open, dup), when it asks
    // the kernel about one (close, handleOf, collect, checkNumbers); each is
    // counted and reported on std::cerr, once, and then forgotten.
    size_t closedAroundTheBoard() const { return closedAround_; }
    // Makes this the process's board, which goes after everything that
    // closes descriptors through it: its end then also names each number
    // of its devices still open, which its holder would close after the
    // board's last look, unseen.
    void endsLast() { endsLast_ = true; }
    // How many times handleOf asked the kernel which socket a number is.
    size_t kernelLookups() const { return kernelLookups_; }
    // Empties every model's logs of the traffic it saw.
    void clearLogs();

    // Runs one text command "<device path> <words...>" against the model
    // of that device. Commands are split on blanks.
    std::string control(const std::string& line);
    // Runs each command of a list separated by ";"; the replies that report
    // a failure are written to `errors`. Returns false when one did.
    bool runCommands(const std::string& list, std::ostream& errors);

    // The control socket: a datagram socket bound at `path`; each datagram
    // is one command and is answered with one datagram to its sender.
    // Returns the descriptor (the owner polls it and calls serveControl),
    // or -1.
    int openControl(const std::string& path);
    // Whether a board, of this process or another, answers at the control
    // socket `path`; a socket file that nobody answers at does not count.
    static bool controlAnswers(const std::string& path);
    // Answers every command waiting on the control socket; never blocks.
    void serveControl();

    // The descriptors the models watch (outside peers of their channels,
    // and the board's clock); the owner polls its descriptor too and calls
    // its serve().
    SimPoller& poller() { return poller_; }

    // The board's clock runs while a model runs on its own time (a paced
    // line): a timer descriptor, watched by the poller, that ticks those
    // models every kTickMs with the monotonic clock.
    static const int kTickMs = 10;
    void serveClock();

    // The handle behind a daemon descriptor, or null. Asks the kernel which
    // socket the descriptor is, and checks the board's listing of it.
    SimHandle* handleOf(int fd);

    int open(const char* path, int flags) override;
    int close(int fd) override;
    int dup(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    int ioctl(int fd, unsigned long request, long arg) override;
    ssize_t read(int fd, void* buf, size_t len) override;
    ssize_t write(int fd, const void* buf, size_t len) override;

private:
    void drop(size_t index);
    // Forgets the numbers that name `h`, which is ending; counts those
    // closed around the board.
    void forgetNumbers(const SimHandle& h);
    // If the board lists `fd` as naming an open that the number no longer
    // reaches, counts and reports it and forgets the number. `now` is what
    // the kernel says the number is, or null when it reaches no open the
    // board may list: closed, or handed out by the kernel just now.
    void checkNumber(int fd, const struct stat* now);
    // The same, asking the kernel when the board lists the number.
    void checkNumber(int fd);
    // Names on std::cerr each listed number that still reaches its open.
    void reportOpenNumbers() const;
    // Names on std::cerr number `fd` of the open `h`, and `what` of it.
    static void report(int fd, const SimHandle& h, const char* what);
    // Starts or stops the clock as the models need it.
    void wake();
    // The model that answers `request` on the daemon's socket `fd`, or null.
    SimDevice* socketModel(int fd, unsigned long request) const;
    // The handle that answers `request` on `fd`, or null (see ioctl).
    SimHandle* handleFor(int fd, unsigned long request);
    // The open `fd` names in numbers_, or null.
    SimHandle* numbered(int fd) const;
    void remember(int fd, SimHandle* h);

    SimPoller poller_;  // outlives the models, which unwatch on destruction
    std::vector<std::unique_ptr<SimDevice>> devices_;
    std::vector<std::unique_ptr<SimHandle>> handles_;
    // By descriptor number: the open the number names, as the board saw it
    // opened or duplicated, or found it by asking the kernel; null for none
    // or one it does not know. A close through the board forgets the number
    // before the kernel can hand it out again.
    std::vector<SimHandle*> numbers_;
    size_t closedAround_ = 0;
    size_t kernelLookups_ = 0;
    bool endsLast_ = false;
    int control_ = -1;
    int clock_ = -1;
    bool clockRunning_ = false;
};

// The control socket's path below the filesystem root.
const char* const kSimControlPath = "/dev/sim-board";

// Adds the standard device models; each device model registers here.
void installStandardDevices(SimBoard& board);

#endif
