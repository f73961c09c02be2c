#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "board/board_io.h"
#include "board/dsp_data_driver.h"
#include "board/e1_driver.h"
#include "board/fs_root.h"
#include "board/hal_driver.h"
#include "board/ioctl_code.h"
#include "board/kernel_io.h"
#include "board/mcc_driver.h"
#include "board/sim_board.h"
#include "board/sim_dsp_data.h"
#include "board/sim_hal.h"
#include "board/sim_mcc.h"
#include "board/sim_watchdog.h"
#include "tests/support/capture.h"

namespace {

// A model that answers one request and echoes written records as events.
class EchoModel : public SimDevice {
public:
    static constexpr unsigned long kGet = 0x40045701UL;
    EchoModel() : SimDevice("/dev/echo", SOCK_SEQPACKET) {}
    int onIoctl(SimHandle&, unsigned long request, void* arg) override {
        if (request != kGet) return SimDevice::onIoctl(*handles()[0], request, arg);
        *static_cast<int*>(arg) = 42;
        return 0;
    }
    ssize_t onWrite(SimHandle& h, int, const void* buf, size_t len) override {
        emit(h, buf, len);
        return static_cast<ssize_t>(len);
    }
    int closes = 0;
    void onClose(SimHandle&) override { ++closes; }
};

TEST(SimBoard, UnknownDeviceDoesNotOpen) {
    SimBoard board;
    errno = 0;
    EXPECT_EQ(-1, board.open("/dev/nothing", O_RDWR));
    EXPECT_EQ(ENOENT, errno);
}

TEST(SimBoard, RequestsWritesAndEventsGoThroughTheModel) {
    SimBoard board;
    auto& m = static_cast<EchoModel&>(board.add(std::unique_ptr<SimDevice>(new EchoModel)));
    int fd = board.open("/dev/echo", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    int v = 0;
    EXPECT_EQ(0, board.ioctl(fd, EchoModel::kGet, &v));
    EXPECT_EQ(42, v);
    EXPECT_EQ(-1, board.ioctl(fd, 0x20005799UL, 7L));
    EXPECT_EQ(ENOTTY, errno);

    EXPECT_EQ(3, board.write(fd, "abc", 3));
    EXPECT_EQ(2, board.write(fd, "de", 2));
    char buf[16];
    EXPECT_EQ(3, board.read(fd, buf, sizeof buf));  // record boundaries kept
    EXPECT_EQ(2, board.read(fd, buf, sizeof buf));
    EXPECT_EQ(-1, board.read(fd, buf, sizeof buf));
    EXPECT_EQ(EAGAIN, errno);

    ASSERT_EQ(5u, m.log().size());
    EXPECT_EQ(SimRequest::Open, m.log()[0].kind);
    EXPECT_EQ(SimRequest::IoctlValue, m.log()[2].kind);
    EXPECT_EQ(7, m.log()[2].value);
    EXPECT_EQ((std::vector<uint8_t>{'d', 'e'}), m.log()[4].data);
    board.close(fd);
}

TEST(SimBoard, FaultsFailTheChosenCallsOnly) {
    SimBoard board;
    auto& m = static_cast<EchoModel&>(board.add(std::unique_ptr<SimDevice>(new EchoModel)));
    m.failOpen(EBUSY, 1);
    EXPECT_EQ(-1, board.open("/dev/echo", O_RDWR));
    EXPECT_EQ(EBUSY, errno);
    int fd = board.open("/dev/echo", O_RDWR);
    ASSERT_GE(fd, 0);
    m.failRequest(EchoModel::kGet, EIO);
    int v = 0;
    EXPECT_EQ(-1, board.ioctl(fd, EchoModel::kGet, &v));
    EXPECT_EQ(-1, board.ioctl(fd, EchoModel::kGet, &v));
    m.failRequest(EchoModel::kGet, 0);
    EXPECT_EQ(0, board.ioctl(fd, EchoModel::kGet, &v));
    m.failWrite(ENOSPC, 1);
    EXPECT_EQ(-1, board.write(fd, "x", 1));
    EXPECT_EQ(ENOSPC, errno);
    EXPECT_EQ(1, board.write(fd, "x", 1));
    board.close(fd);
}

TEST(SimBoard, AnOpenEndsWhenEveryCopyOfTheDescriptorIsClosed) {
    SimBoard board;
    auto& m = static_cast<EchoModel&>(board.add(std::unique_ptr<SimDevice>(new EchoModel)));
    int fd = board.open("/dev/echo", O_RDWR);
    int copy = board.dup(fd);
    board.close(fd);
    board.collect();
    EXPECT_EQ(0, m.closes);
    EXPECT_NE(nullptr, board.handleOf(copy));  // a duplicate reaches the same open
    EXPECT_EQ(1, board.write(copy, "y", 1));
    board.close(copy);
    board.collect();
    EXPECT_EQ(1, m.closes);
    EXPECT_TRUE(m.handles().empty());
    EXPECT_EQ(0u, board.closedAroundTheBoard());
}

// The report of a number of `path` closed around the board.
std::string closedAround(int number, const char* path) {
    return "sim board: descriptor " + std::to_string(number) + " of " + path + " was closed around the board\n";
}

// Descriptors closed and made on the freed numbers without the board (a
// plain close, another open duplicated onto the number) are found by asking
// the kernel: each call reaches what the number is now. The first call that
// asks the kernel about the number reports the open it named before.
TEST(SimBoard, ANumberReachesWhatItNamesNow) {
    StreamCapture err(std::cerr);
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    Hal::MuxChannel output{Hal::kBusFirst};
    int number = board->open(Hal::kDevice, O_RDWR);
    ASSERT_EQ(0, board->ioctl(number, Hal::kMuxDisable, &output));
    int channel = board->open(Mcc::kDevice, O_RDWR | O_NONBLOCK);
    Mcc::Allocate data = Mcc::byteChannel(Mcc::kData);
    ASSERT_EQ(0, board->ioctl(channel, Mcc::MCC_ALLOCATE, &data));

    // The switch's number is a copy of the channel now.
    ::close(number);
    ASSERT_EQ(number, ::fcntl(channel, F_DUPFD_CLOEXEC, number));
    EXPECT_EQ(256, board->ioctl(number, Mcc::MCC_TIMESLOT, 0L));
    EXPECT_EQ(2, board->write(number, "\x01\x02", 2));
    EXPECT_EQ("0102\n", board->control("/dev/mcc/ctl tx 256"));
    std::string reports = closedAround(number, Hal::kDevice);
    EXPECT_EQ(reports, err.text());

    // Then the channel's: a copy of the switch.
    int hal = board->open(Hal::kDevice, O_RDWR);
    ::close(number);
    ASSERT_EQ(number, ::fcntl(hal, F_DUPFD_CLOEXEC, number));
    EXPECT_EQ(0, board->ioctl(number, Hal::kMuxDisable, &output));
    errno = 0;
    EXPECT_EQ(-1, board->write(number, "\x03", 1));
    EXPECT_EQ(EINVAL, errno);
    reports += closedAround(number, Mcc::kDevice);
    EXPECT_EQ(reports, err.text());

    // Then an ordinary socket, which the board passes to the kernel.
    ::close(number);
    int ends[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends));
    ASSERT_EQ(number, ends[0]);
    EXPECT_EQ(2, board->write(number, "hi", 2));
    char buf[4];
    EXPECT_EQ(2, ::read(ends[1], buf, sizeof buf));
    reports += closedAround(number, Hal::kDevice);
    EXPECT_EQ(reports, err.text());
    for (int fd : ends) ::close(fd);
    for (int fd : {hal, channel}) board->close(fd);
    board->collect();
    EXPECT_TRUE(board->device(Hal::kDevice)->handles().empty());
    board->checkNumbers();
    EXPECT_EQ(reports, err.text());  // each once
    EXPECT_EQ(3u, board->closedAroundTheBoard());
}

// What a switch request on a descriptor number gets: its result with the
// errno of a refusal, and whether the switch model heard it.
struct SwitchAnswer {
    int result;
    int err;
    bool heard;
    bool operator==(const SwitchAnswer& o) const {
        return result == o.result && err == o.err && heard == o.heard;
    }
};

std::ostream& operator<<(std::ostream& os, const SwitchAnswer& a) {
    return os << "{" << a.result << ", errno " << a.err << (a.heard ? ", heard}" : ", not heard}");
}

SwitchAnswer switchRequest(SimBoard& board, int number) {
    SimDevice& hal = *board.device(Hal::kDevice);
    hal.clearLog();
    Hal::MuxChannel output{Hal::kBusFirst};
    errno = 0;
    int result = board.ioctl(number, Hal::kMuxDisable, &output);
    return SwitchAnswer{result, result == -1 ? errno : 0, !hal.log().empty()};
}

const SwitchAnswer kServed{0, 0, true};
const SwitchAnswer kClosed{-1, EBADF, false};
const SwitchAnswer kNotADevice{-1, ENOTTY, false};

// The switch requests are routed by descriptor number; the closes and
// duplicates the daemon makes through the board keep that routing true to
// what the kernel would answer on each number.
TEST(SimBoard, SwitchRequestsAnswerAsTheKernelAfterClosesAndDuplicates) {
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    {
        SCOPED_TRACE("a closed number, then the same number on another socket");
        int number = board->open(Hal::kDevice, O_RDWR);
        ASSERT_GE(number, 0);
        EXPECT_EQ(kServed, switchRequest(*board, number));
        ASSERT_EQ(0, board->close(number));
        EXPECT_EQ(kClosed, switchRequest(*board, number));
        int ends[2];
        ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends));
        EXPECT_EQ(number, ends[0]);
        EXPECT_EQ(kNotADevice, switchRequest(*board, ends[0]));
        for (int end : ends) ::close(end);
    }
    {
        SCOPED_TRACE("a duplicate outlives its original, then closes too");
        int original = board->open(Hal::kDevice, O_RDWR);
        int copy = board->dup(original);
        ASSERT_GE(copy, 0);
        EXPECT_EQ(FD_CLOEXEC, ::fcntl(copy, F_GETFD) & FD_CLOEXEC);
        EXPECT_EQ(kServed, switchRequest(*board, copy));
        ASSERT_EQ(0, board->close(original));
        EXPECT_EQ(kClosed, switchRequest(*board, original));
        EXPECT_EQ(kServed, switchRequest(*board, copy));
        ASSERT_EQ(0, board->close(copy));
        EXPECT_EQ(kClosed, switchRequest(*board, copy));
        EXPECT_EQ(kClosed, switchRequest(*board, original));
    }
    errno = 0;
    EXPECT_EQ(-1, board->dup(-1));
    EXPECT_EQ(EBADF, errno);
    board->collect();
    EXPECT_TRUE(board->device(Hal::kDevice)->handles().empty());
}

// A plain close leaves the board's number naming the open; once every
// descriptor of the open is closed, collect counts and names that number
// and forgets it. Closes through the board, and an open its model hung up
// while the daemon still holds it, are not counted.
TEST(SimBoard, CollectReportsADescriptorClosedAroundTheBoard) {
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    int around = board->open(Hal::kDevice, O_RDWR);
    int through = board->open(Hal::kDevice, O_RDWR);
    int copy = board->dup(through);
    ASSERT_GE(copy, 0);
    int hungUp = board->open(E1::kCasDevice, O_RDWR | O_NONBLOCK);
    ASSERT_EQ("ok", board->control(std::string(E1::kCasDevice) + " hangup"));
    StreamCapture err(std::cerr);
    ::close(around);
    ASSERT_EQ(0, board->close(through));
    ASSERT_EQ(0, board->close(copy));
    board->collect();
    EXPECT_EQ(1u, board->closedAroundTheBoard());
    EXPECT_EQ("sim board: descriptor " + std::to_string(around) + " of /dev/hal was closed around the board\n",
              err.text());
    EXPECT_TRUE(board->device(Hal::kDevice)->handles().empty());
    EXPECT_TRUE(board->device(E1::kCasDevice)->handles().empty());
    EXPECT_EQ(kClosed, switchRequest(*board, around));
    ASSERT_EQ(0, board->close(hungUp));
    board->collect();
    EXPECT_EQ(1u, board->closedAroundTheBoard());
}

// Takes `number`, the lowest free one, for a descriptor the board has no
// part in.
void takeOutside(int number) {
    EXPECT_EQ(number, ::open("/dev/null", O_RDWR | O_CLOEXEC));
}

// A descriptor of the switch closed with a plain close, while a duplicate
// made through the board keeps its open: wherever the board next meets the
// number, it names it once, with its device, and counts it. `spare` is a
// descriptor on a lower number that a way may free.
TEST(SimBoard, APlainCloseIsReportedOnceWhereverTheBoardMeetsTheNumber) {
    using Meet = std::function<void(SimBoard&, int number, int& spare)>;
    const struct {
        const char* way;
        Meet meet;
        size_t countedBeforeTheEnd;
    } ways[] = {
        {"an open takes it for its descriptor",
         [](SimBoard& b, int number, int&) {
             int cas = b.open(E1::kCasDevice, O_RDWR | O_NONBLOCK);
             EXPECT_EQ(number, cas);
             b.close(cas);
         },
         1},
        {"an open takes it for its model's end",
         [](SimBoard& b, int number, int& spare) {
             ::close(spare);
             int cas = b.open(E1::kCasDevice, O_RDWR | O_NONBLOCK);
             EXPECT_EQ(spare, cas);
             spare = -1;
             EXPECT_EQ(kNotADevice, switchRequest(b, number));  // the model's socket now
             b.close(cas);
         },
         1},
        {"a duplicate takes it",
         [](SimBoard& b, int number, int&) {
             int copy = b.dup(number + 2);  // of the duplicate kept
             EXPECT_EQ(number, copy);
             EXPECT_EQ(kServed, switchRequest(b, copy));
             b.close(copy);
         },
         1},
        {"a duplicate of it, the number taken again",
         [](SimBoard& b, int number, int&) {
             takeOutside(number);
             int copy = b.dup(number);
             ASSERT_GE(copy, 0);
             EXPECT_EQ(nullptr, b.handleOf(copy));
             b.close(copy);
             ::close(number);
         },
         1},
        {"a close through the board, the number taken again",
         [](SimBoard& b, int number, int&) {
             takeOutside(number);
             EXPECT_EQ(0, b.close(number));
         },
         1},
        {"a close through the board, the number free",
         [](SimBoard& b, int number, int&) {
             errno = 0;
             EXPECT_EQ(-1, b.close(number));
             EXPECT_EQ(EBADF, errno);
         },
         1},
        {"a write, the number taken again",
         [](SimBoard& b, int number, int&) {
             takeOutside(number);
             EXPECT_EQ(1, b.write(number, "x", 1));
             ::close(number);
         },
         1},
        {"a request the board does not route by number, the number taken again",
         [](SimBoard& b, int number, int&) {
             takeOutside(number);
             Hal::ClockSelect clock{};
             errno = 0;
             EXPECT_EQ(-1, b.ioctl(number, Hal::HW_CLOCK_SELECT, &clock));
             EXPECT_EQ(ENOTTY, errno);
             ::close(number);
         },
         1},
        {"the check of every number", [](SimBoard& b, int, int&) { b.checkNumbers(); }, 1},
        {"the board's end", [](SimBoard&, int, int&) {}, 0},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        StreamCapture err(std::cerr);
        int number;
        size_t counted;
        {
            std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
            int spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            number = board->open(Hal::kDevice, O_RDWR);
            int copy = board->dup(number);
            ASSERT_EQ(number + 2, copy);  // after the model's end
            ASSERT_EQ(0, ::close(number));
            w.meet(*board, number, spare);
            counted = board->closedAroundTheBoard();
            board->close(copy);
            if (spare >= 0) ::close(spare);
        }
        EXPECT_EQ(w.countedBeforeTheEnd, counted);
        EXPECT_EQ(closedAround(number, Hal::kDevice), err.text());
    }
}

// Closes and duplicates through the board, numbers taken again after them,
// and an open its model hung up are never reported, not even at the end.
TEST(SimBoard, NumbersKeptThroughTheBoardAreNeverReported) {
    StreamCapture err(std::cerr);
    {
        std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
        int first = board->open(Hal::kDevice, O_RDWR);
        int copy = board->dup(first);
        ASSERT_EQ(0, board->close(first));
        int again = board->open(Hal::kDevice, O_RDWR);
        EXPECT_EQ(first, again);
        ASSERT_EQ(0, board->close(copy));
        int copyAgain = board->dup(again);
        EXPECT_EQ(copy, copyAgain);
        for (int fd : {again, copyAgain}) EXPECT_EQ(kServed, switchRequest(*board, fd));
        EXPECT_NE(nullptr, board->handleOf(copyAgain));

        int hungUp = board->open(E1::kCasDevice, O_RDWR | O_NONBLOCK);
        ASSERT_EQ("ok", board->control(std::string(E1::kCasDevice) + " hangup"));
        EXPECT_NE(nullptr, board->handleOf(hungUp));
        board->collect();
        EXPECT_EQ(nullptr, board->handleOf(hungUp));
        int hungUpCopy = board->dup(hungUp);
        ASSERT_GE(hungUpCopy, 0);
        board->checkNumbers();
        for (int fd : {hungUp, hungUpCopy, again, copyAgain}) ASSERT_EQ(0, board->close(fd));
        board->collect();
        board->checkNumbers();
        EXPECT_EQ(0u, board->closedAroundTheBoard());
    }
    EXPECT_EQ("", err.text());
}

// The process's board goes after everything that closes descriptors
// through it: at its end it names each number of its devices still open,
// whose holder would close it later, unseen by its checks. Any other board
// leaves descriptors that outlive it alone.
TEST(SimBoard, TheProcesssBoardNamesEachNumberStillOpenAtItsEnd) {
    for (bool last : {false, true}) {
        SCOPED_TRACE(last ? "the process's board" : "another board");
        StreamCapture err(std::cerr);
        std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
        if (last) board->endsLast();
        int kept = board->open(Hal::kDevice, O_RDWR);
        int copy = board->dup(kept);
        int closed = board->open(E1::kCasDevice, O_RDWR | O_NONBLOCK);
        ASSERT_EQ(0, board->close(closed));
        board.reset();
        std::string reports;
        for (int fd : {kept, copy}) {
            if (last)
                reports += "sim board: descriptor " + std::to_string(fd) + " of /dev/hal is still open at the board's end\n";
            ::close(fd);
        }
        EXPECT_EQ(reports, err.text());
    }
}

// The switch requests on a duplicate made through the board are routed by
// its number, as on its original, without asking the kernel which socket
// the number is; a number made without the board is looked up once.
TEST(SimBoard, SwitchRequestsOnADuplicateAreRoutedWithoutAskingTheKernel) {
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    int original = board->open(Hal::kDevice, O_RDWR);
    int copy = board->dup(original);
    ASSERT_GE(copy, 0);
    size_t lookups = board->kernelLookups();
    for (int fd : {original, copy}) EXPECT_EQ(kServed, switchRequest(*board, fd)) << fd;
    ASSERT_EQ(0, board->close(original));
    int copyOfCopy = board->dup(copy);
    EXPECT_EQ(kServed, switchRequest(*board, copyOfCopy));
    EXPECT_EQ(lookups, board->kernelLookups());

    int outside = ::fcntl(copy, F_DUPFD_CLOEXEC, 0);
    for (int pass = 0; pass < 2; ++pass) EXPECT_EQ(kServed, switchRequest(*board, outside));
    EXPECT_EQ(lookups + 1, board->kernelLookups());
    for (int fd : {copy, copyOfCopy, outside}) board->close(fd);
}

// The board lives as long as the daemon's process: what its models keep of
// the traffic they saw (requests with the bytes written, the frames a line
// sent) stays within fixed bounds however long the traffic runs, and is the
// newest of it, in order.
TEST(SimBoard, LogsKeepTheNewestTrafficWithinFixedBounds) {
    using Frames = std::vector<std::vector<uint8_t>>;
    std::unique_ptr<SimBoard> board = SimBoard::makeStandard();
    auto& mcc = board->model<SimMcc>(SimMcc::kPath);
    auto& qsig = board->model<SimDspData>(SimDspData::kPath);
    int channel = board->open(Mcc::kDevice, O_RDWR | O_NONBLOCK);
    Mcc::Allocate data = Mcc::byteChannel(Mcc::kData);
    ASSERT_EQ(0, board->ioctl(channel, Mcc::MCC_ALLOCATE, &data));
    int number = board->ioctl(channel, Mcc::MCC_TIMESLOT, 0L);
    int interface = board->open(DspData::kDevice, O_RDWR | O_NONBLOCK);

    // Frame i: 1,000 octets, the first two its number.
    const int kFrames = 300;
    auto frame = [](int i) {
        std::vector<uint8_t> f(1000, uint8_t(i));
        f[0] = uint8_t(i >> 8);
        f[1] = uint8_t(i);
        return f;
    };
    for (int i = 0; i < kFrames; ++i) {
        std::vector<uint8_t> f = frame(i);
        ASSERT_EQ(ssize_t(f.size()), board->write(channel, f.data(), f.size())) << i;
        ASSERT_EQ(ssize_t(f.size()), board->write(interface, f.data(), f.size())) << i;
    }
    Frames writes;
    for (const SimRequest& r : mcc.log())
        if (r.kind == SimRequest::Write) writes.push_back(r.data);
    const struct {
        const char* log;
        Frames kept;
        size_t bound;
    } logs[] = {
        {"requests", writes, SimDevice::kLogDataLimit},
        {"MCC channel", Frames(mcc.channel(number).sent.begin(), mcc.channel(number).sent.end()),
         SimMcc::kFrameLogBytes},
        {"Q.SIG interface", Frames(qsig.interface(0).sent.begin(), qsig.interface(0).sent.end()),
         SimDspData::kFrameLogBytes},
    };
    for (const auto& l : logs) {
        SCOPED_TRACE(l.log);
        size_t bytes = 0;
        for (const auto& f : l.kept) bytes += f.size();
        EXPECT_LE(bytes, l.bound);
        EXPECT_GE(bytes + 1000, l.bound);  // no fewer than fit
        for (size_t k = 0; k < l.kept.size(); ++k)
            ASSERT_EQ(frame(kFrames - int(l.kept.size() - k)), l.kept[k]) << k;
    }

    // Requests without data: the newest kLogLimit, or what the model keeps.
    int hal = board->open(Hal::kDevice, O_RDWR);
    Hal::MuxChannel output{Hal::kBusFirst};
    for (size_t i = 0; i < 2 * SimHal::kLogRequests; ++i) {
        ASSERT_EQ(0, board->ioctl(hal, Hal::kMuxDisable, &output));
        ASSERT_EQ(number, board->ioctl(channel, Mcc::MCC_TIMESLOT, 0L));
    }
    EXPECT_EQ(SimDevice::kLogLimit, mcc.log().size());
    EXPECT_EQ(SimHal::kLogRequests, board->device(Hal::kDevice)->log().size());
    for (int fd : {channel, interface, hal}) board->close(fd);
}

TEST(SimBoard, OtherDescriptorsPassThrough) {
    SimBoard board;
    int p[2];
    ASSERT_EQ(0, pipe(p));
    EXPECT_EQ(2, board.write(p[1], "hi", 2));
    char buf[4];
    EXPECT_EQ(2, board.read(p[0], buf, sizeof buf));
    ::close(p[0]);
    ::close(p[1]);
}

// On descriptors that name no device of the board, close and dup are the
// system calls, whichever board is in use.
TEST(BoardIo, CloseAndDupOfOrdinaryDescriptorsAreTheSystemCalls) {
    KernelIo kernel;
    SimBoard sim;
    for (BoardIo* io : {static_cast<BoardIo*>(&kernel), static_cast<BoardIo*>(&sim)}) {
        SCOPED_TRACE(io == &kernel ? "kernel" : "simulated board");
        int p[2];
        ASSERT_EQ(0, ::pipe(p));
        int copy = io->dup(p[1]);
        ASSERT_GE(copy, 0);
        EXPECT_EQ(FD_CLOEXEC, ::fcntl(copy, F_GETFD) & FD_CLOEXEC);
        EXPECT_EQ(0, io->close(p[1]));
        EXPECT_EQ(1, ::write(copy, "x", 1));
        EXPECT_EQ(0, io->close(copy));
        char c;
        EXPECT_EQ(1, ::read(p[0], &c, 1));
        EXPECT_EQ(0, ::read(p[0], &c, 1));  // every writer is closed
        errno = 0;
        EXPECT_EQ(-1, io->close(copy));
        EXPECT_EQ(EBADF, errno);
        errno = 0;
        EXPECT_EQ(-1, io->dup(copy));
        EXPECT_EQ(EBADF, errno);
        ::close(p[0]);
    }
}

// The selected board lives until exit, so the selection runs in a child.
TEST(SimBoard, StandardBoardIsSelectedFromTheEnvironment) {
    auto select = [] {
        unsetenv("KORVAND_BOARD");
        if (selectBoardFromEnvironment()) _exit(1);
        setenv("KORVAND_BOARD", "sim", 1);
        if (!selectBoardFromEnvironment()) _exit(2);
        int fd = boardIo().open(SimWatchdog::kPath, O_WRONLY);
        if (fd < 0) _exit(3);
        if (boardIo().write(fd, "START", 5) != 5) _exit(4);
        _exit(boardIo().write(fd, "BARK", 4) == -1 ? 0 : 5);
    };
    EXPECT_EXIT(select(), ::testing::ExitedWithCode(0), "");
}

TEST(SimBoard, WatchdogOfALongRunKeepsOnlyTheNewestRecords) {
    SimBoard board;
    auto& wd = static_cast<SimWatchdog&>(board.add(std::unique_ptr<SimDevice>(new SimWatchdog)));
    int fd = board.open(SimWatchdog::kPath, O_WRONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(5, board.write(fd, "START", 5));
    for (size_t i = 0; i < SimDevice::kLogLimit; ++i) ASSERT_EQ(4, board.write(fd, "PING", 4));
    EXPECT_EQ(4, board.write(fd, "STOP", 4));
    ASSERT_EQ(SimDevice::kLogLimit, wd.records().size());
    EXPECT_EQ("PING", wd.records().front());
    EXPECT_EQ("STOP", wd.records().back());
    board.close(fd);
}

TEST(FsRoot, PrefixesAbsolutePaths) {
    setenv("KORVAND_ROOT", "/tmp/r/", 1);
    EXPECT_EQ("/tmp/r/var/run/server.pid", Fs::path("/var/run/server.pid"));
    EXPECT_EQ("relative", Fs::path("relative"));
    unsetenv("KORVAND_ROOT");
    EXPECT_EQ("/var/run/server.pid", Fs::path("/var/run/server.pid"));
}

std::string changedTo;
int recordChange(const char* resolved) {
    changedTo = resolved;
    return 0;
}

std::string workingDirectory() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? buf : "";
}

TEST(FsRoot, DirectoryChangesGoThroughTheChangerBelowTheRoot) {
    std::string before = workingDirectory();
    setenv("KORVAND_ROOT", "/tmp/r", 1);
    Fs::DirectoryChanger previous = Fs::setDirectoryChanger(recordChange);
    EXPECT_EQ(0, Fs::changeDirectory("/usr/local/etc/"));
    EXPECT_EQ("/tmp/r/usr/local/etc/", changedTo);
    Fs::setDirectoryChanger(previous);
    unsetenv("KORVAND_ROOT");
    EXPECT_EQ(before, workingDirectory());

    // The default really changes the directory: seen in a child process, so
    // this one keeps its own.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool moved = Fs::changeDirectory("/tmp") == 0 && workingDirectory() == "/tmp";
        bool refused = Fs::changeDirectory("/no/such/dir") == -1 && errno == ENOENT;
        _exit(moved && refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
