#include "board/sim_hal.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "board/hal_driver.h"
#include "board/sim_board.h"
#include "board/sim_bus_clock.h"
#include "board/sim_echo.h"
#include "board/sim_hal_monitor.h"
#include "board/sim_spi.h"
#include "board/sim_switch.h"

namespace {

// A family like the bus clock's: one request whose result is the request's
// return value.
class EchoFamily : public SimHalFamily {
public:
    static constexpr unsigned long kEcho = 0xC0034209UL;
    std::vector<unsigned long> requests() const override { return {kEcho}; }
    int onRequest(SimHandle&, unsigned long, void* arg) override {
        ++calls;
        return static_cast<unsigned char*>(arg)[2];
    }
    int calls = 0;
};

class SimHalTest : public ::testing::Test {
protected:
    SimHalTest() : board(SimBoard::makeStandard()), hal(board->model<SimHal>(SimHal::kPath)) {
        fd = board->open(Hal::kDevice, O_RDWR);
    }
    ~SimHalTest() override { board->close(fd); }

    int request(unsigned long code, void* arg) { return board->ioctl(fd, code, arg); }

    std::unique_ptr<SimBoard> board;
    SimHal& hal;
    int fd = -1;
};

TEST_F(SimHalTest, RequestsGoToTheFamilyThatClaimedThem) {
    auto& echo = static_cast<EchoFamily&>(hal.add(std::unique_ptr<SimHalFamily>(new EchoFamily)));
    EXPECT_EQ(&echo, hal.family<EchoFamily>());
    EXPECT_EQ(&hal.switchPart(), hal.family<SimSwitch>());

    unsigned char rec[3] = {1, 51, 0xC5};
    EXPECT_EQ(0xC5, request(EchoFamily::kEcho, rec));
    hal.failRequest(EchoFamily::kEcho, ENODEV, 1);
    EXPECT_EQ(-1, request(EchoFamily::kEcho, rec));
    EXPECT_EQ(ENODEV, errno);
    EXPECT_EQ(1, echo.calls);

    errno = 0;
    EXPECT_EQ(-1, request(0x80044399UL, rec));
    EXPECT_EQ(ENOTTY, errno);
    EXPECT_EQ(-1, request(EchoFamily::kEcho, nullptr));
    EXPECT_EQ(EFAULT, errno);
    EXPECT_EQ(-1, board->ioctl(fd, Hal::kMuxDisable, 8192L));
    EXPECT_EQ(EFAULT, errno);
    EXPECT_EQ(1, echo.calls);
}

TEST_F(SimHalTest, ARequestClaimedTwiceEndsTheProcess) {
    EXPECT_DEATH(hal.add(std::unique_ptr<SimHalFamily>(new SimSwitch)), "served twice");
}

TEST_F(SimHalTest, SwitchRefusesHostileRecordsAndReadsUnaligned) {
    SimSwitch& sw = hal.switchPart();
    auto refused = [&](unsigned long code, auto record) {
        errno = 0;
        return request(code, &record) == -1 && errno == EINVAL;
    };
    EXPECT_TRUE(refused(Hal::kMuxConnect, Hal::MuxConnect{8192, -3}));
    EXPECT_TRUE(refused(Hal::kMuxWrite, Hal::MuxByte{8192, 256}));
    EXPECT_TRUE(refused(Hal::kMuxWrite, Hal::MuxByte{8192, -1}));
    EXPECT_TRUE(refused(Hal::kMuxRead, Hal::MuxByte{-1, 255}));
    EXPECT_TRUE(refused(Hal::kMuxDisable, Hal::MuxChannel{-2}));
    EXPECT_EQ(-1, sw.sourceOf(8192));
    EXPECT_EQ(-1, sw.constantOf(8192));

    // Records the caller packed at odd addresses are read and written back.
    alignas(8) unsigned char buf[1 + sizeof(Hal::MuxByte)];
    Hal::MuxByte write{8200, 0x42};
    std::memcpy(buf + 1, &write, sizeof write);
    ASSERT_EQ(0, request(Hal::kMuxWrite, buf + 1));
    Hal::MuxConnect connect{8300, 8200};
    std::memcpy(buf + 1, &connect, sizeof connect);
    ASSERT_EQ(0, request(Hal::kMuxConnect, buf + 1));
    Hal::MuxByte read{8300, 255};
    std::memcpy(buf + 1, &read, sizeof read);
    ASSERT_EQ(0, request(Hal::kMuxRead, buf + 1));
    std::memcpy(&read, buf + 1, sizeof read);
    EXPECT_EQ(0x42, read.value);
}

TEST_F(SimHalTest, ReadFollowsConnectionsToWhatTheSourceCarries) {
    SimSwitch& sw = hal.switchPart();
    sw.carry(100, 0x17);
    sw.connect(8192, 100);
    sw.connect(8193, 8192);
    EXPECT_EQ(0x17u, sw.byteOf(8193));
    sw.write(8192, 0x99);  // the switch drives over what it connected
    EXPECT_EQ(0x99u, sw.byteOf(8193));
    sw.disable(8192);  // undriven by the switch: what sits on the bus shows
    EXPECT_EQ(SimSwitch::kIdleBus, sw.byteOf(8193));
    sw.carry(8192, 0x01);
    EXPECT_EQ(0x01u, sw.byteOf(8193));

    sw.connect(8192, 8193);  // a loop reads as an idle bus
    EXPECT_EQ(SimSwitch::kIdleBus, sw.byteOf(8193));
    EXPECT_TRUE(sw.isDisabled(9000));
}

// A channel below the buses is a port with two directions: a trunk's time
// slot 1 (channel 1) receives 0x17 from its line while the switch sends out
// through it whatever it is told. A connection from the port takes what
// its line sends, directly or over a bus channel; the port itself reads
// as what the switch sends out, or what arrives while the switch is silent.
TEST_F(SimHalTest, AConnectionFromAPortTakesWhatItsLineSends) {
    SimSwitch& sw = hal.switchPart();
    constexpr unsigned kIdleOut = 0xD5;  // what the daemon writes to a released output
    sw.carry(1, 0x17);
    sw.connect(33, 1);
    const struct {
        const char* step;
        bool (*change)(SimSwitch&);
        unsigned port, output, overBus;
    } steps[] = {
        {"connected", [](SimSwitch&) { return true; }, 0x17, 0x17, 0xFF},
        {"bus channel takes the port",
         [](SimSwitch& s) { return s.connect(8200, 1) && s.connect(34, 8200); }, 0x17, 0x17, 0x17},
        {"idle byte sent out", [](SimSwitch& s) { return s.write(1, kIdleOut); }, kIdleOut, 0x17, 0x17},
        {"port sends out another port", [](SimSwitch& s) { return s.connect(1, 2); }, 0xFF, 0x17, 0x17},
        {"that port's line sends", [](SimSwitch& s) { s.carry(2, 0x2A); return true; }, 0x2A, 0x17, 0x17},
        {"switch silent on the port", [](SimSwitch& s) { return s.disable(1); }, 0x17, 0x17, 0x17},
        {"the line sends anew", [](SimSwitch& s) { s.carry(1, 0x3C); return true; }, 0x3C, 0x3C, 0x3C},
    };
    for (const auto& s : steps) {
        ASSERT_TRUE(s.change(sw)) << s.step;
        EXPECT_EQ(s.port, sw.byteOf(1)) << s.step;
        EXPECT_EQ(s.output, sw.byteOf(33)) << s.step;
        EXPECT_EQ(s.overBus, sw.byteOf(34)) << s.step;
        Hal::MuxByte read{33, 255};
        ASSERT_EQ(0, request(Hal::kMuxRead, &read)) << s.step;
        EXPECT_EQ(int(s.output), read.value) << s.step;
    }
}

// Makes the system calls that tell what a descriptor is (its file status,
// flags, peer or readiness) fail with EPERM in this process; false when the
// kernel takes no such filter.
bool forbidDescriptorQueries() {
    const unsigned forbidden[] = {
#ifdef __NR_fstat
        __NR_fstat,
#endif
#ifdef __NR_poll
        __NR_poll,
#endif
        __NR_newfstatat, __NR_statx, __NR_fcntl, __NR_ppoll, __NR_getsockopt, __NR_kcmp};
    std::vector<sock_filter> filter{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (unsigned nr : forbidden) {
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nr, 0, 1));
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// The switch refresh sends the switch hundreds of requests a loop pass; the
// board routes them by what it knows of its own opens, without asking the
// kernel about the descriptor each time.
TEST_F(SimHalTest, SwitchRequestsAreRoutedWithoutAskingTheKernel) {
    const int kRequests = 1000, kNoFilter = 101;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!forbidDescriptorQueries()) ::_exit(kNoFilter);
        int failed = 0;
        for (int i = 0; i < kRequests; ++i) {
            Hal::MuxChannel out{Hal::kBusFirst + i % (Hal::kBuses * Hal::kBusTimeslots)};
            failed += request(Hal::kMuxDisable, &out) != 0;
        }
        ::_exit(std::min(failed, 100));
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kNoFilter) GTEST_SKIP() << "no system call filter here";
    EXPECT_EQ(0, WEXITSTATUS(status)) << "requests failed: the board asked the kernel";
}

// The board routes the requests that the driver answers alike through every
// open by the descriptor number alone; that takes a number that no other
// device of the board serves.
TEST_F(SimHalTest, RequestsRoutedByNumberAreServedByNoOtherDevice) {
    std::vector<unsigned long> numbers;
    for (const SimHalFamily* f : std::vector<const SimHalFamily*>{
             hal.family<SimSwitch>(), hal.family<SimBusClock>(), hal.family<SimHalMonitor>(),
             hal.family<SimEchoCanceller>(), hal.family<SimSpi>()}) {
        ASSERT_NE(nullptr, f);
        for (unsigned long n : f->requests())
            if (hal.routedByNumber(n)) numbers.push_back(n);
    }
    EXPECT_FALSE(numbers.empty());
    const char* const others[] = {"/dev/misc/gw-wd", "/dev/maintenance", "/dev/e1-cas",
                                  "/dev/mcc/ctl",    "/dev/dsp-data",    "/dev/dtmf",
                                  "/dev/dsp",        "/dev/mixer",       "/dev/rtp",
                                  "/dev/rtp_ext",    "/dev/voice",       "/dev/mctl"};
    for (const char* path : others) {
        int other = board->open(path, O_RDWR | O_NONBLOCK);
        ASSERT_GE(other, 0) << path;
        for (unsigned long n : numbers) {
            unsigned char record[8192] = {};
            errno = 0;
            EXPECT_EQ(-1, board->ioctl(other, n, record)) << path << std::hex << " 0x" << n;
            EXPECT_EQ(ENOTTY, errno) << path << std::hex << " 0x" << n;
        }
        board->close(other);
    }
}

}  // namespace
