// Software T.38 slots in process: the program's command line with the MCC
// channel as its standard input, its end as `abort`, the destroy, and the
// instance count against programs that answer, stay silent, are missing
// or hang.

#include "slots/t38_soft_slot.h"

#include <signal.h>
#include <unistd.h>

#include "tests/slots/program_slots.h"

namespace {

class T38Slots : public ProgramSlots {
protected:
    Texts create(int slot, const std::string& args = "", int packetSize = 256) {
        return command(slot, "create : t38soft : { dhost { iaddr \"10.0.0.2\", port 4000 }, shost { iaddr "
                             "\"10.9.9.9\", port 5000 }, rx-packet-size " +
                                 std::to_string(packetSize) + ", rx-threshold 3, tx-threshold 2, args { " + args +
                                 " } }");
    }
    T38SoftSlot* slot(int id) const { return dynamic_cast<T38SoftSlot*>(at(id)); }

    T38SoftFactory factory;
};

TEST_F(T38Slots, TheProgramRunsOnTheChannelWithItsCommandLineUntilDestroyed) {
    standins.configure("sbin-t38", "read-stdin\n");
    std::string args;
    std::vector<std::string> expected = {"/usr/local/sbin/t38", "--child", "--remote", "10.0.0.2/4000/5000"};
    for (int i = 0; i < 40; ++i) {
        args += (i ? ", \"" : "\"") + std::string("x") + std::to_string(i) + "\"";
        if (i < 27) expected.push_back("x" + std::to_string(i));
    }
    ASSERT_EQ(created(1, 256), create(1, args));
    std::string run = standins.run("sbin-t38");
    EXPECT_EQ(expected, standins.argv(run));
    EXPECT_TRUE(said("t38soft: arg[3]=10.0.0.2/4000/5000\nt38soft: arg[4]=x0\n"));
    EXPECT_TRUE(said("t38soft: t38 daemon[" + std::to_string(slot(1)->ChildPid()) + "] successfully started\n"));
    EXPECT_EQ((std::vector<uint32_t>{2, 256, 0, 3, 2}), allocation(256));
    ASSERT_EQ("ok", sim.board().control("/dev/mcc/ctl rx 256 6661780a"));
    EXPECT_TRUE(standins.waitFile(run, "stdin", "fax\n"));
    // The destroy stops the program without waiting for it.
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
    EXPECT_TRUE(standins.waitFile(run, "signals", "TERM\n"));

    // Refusals of the channel give no slot.
    mcc.failOpen(ENOENT, 1);
    EXPECT_EQ(Texts{error(2, "insufficientResources")}, create(2));
    EXPECT_TRUE(said("T38SoftFactory::INewSlot - FAIL to open </dev/mcc/ctl> [2]\n"));
    EXPECT_EQ(Texts{error(2, "insufficientResources")}, create(2, "", 0));
    EXPECT_TRUE(said("T38SoftFactory::INewSlot - FAIL to ioctl MCC_ALLOCATE [22]\n"));
    EXPECT_FALSE(standins.ran("sbin-t38", 2));
}

TEST_F(T38Slots, TheProgramsEndIsAnAbortWithTheRawStatus) {
    standins.configure("sbin-t38", "exit 5\n");
    size_t from = client.Received().size();
    create(1);
    EXPECT_TRUE(arrived(from, {ok(1), abort(1, 5 << 8)}));
    EXPECT_TRUE(said("01:t38 soft: t38 daemon terminated with code=5\n"));
    // Gone already: the destroy signals nobody.
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));

    standins.configure("sbin-t38", "");
    create(1);
    ASSERT_FALSE(standins.run("sbin-t38", 2).empty());
    ::kill(slot(1)->ChildPid(), SIGKILL);
    EXPECT_EQ(Texts{abort(1, SIGKILL)}, next(1));
    EXPECT_TRUE(said("01:t38 soft: t38 daemon terminated by signal=9\n"));
    command(1, "destroy : NULL");

    ASSERT_EQ(0, ::unlink(root.path("/usr/local/sbin/t38").c_str()));
    from = client.Received().size();
    create(1);
    EXPECT_TRUE(arrived(from, {ok(1), abort(1, 237 << 8)}));
    EXPECT_TRUE(said("01:t38 soft: fail to exec t38 daemon: No such file or directory\n"));
}

TEST_F(T38Slots, TheInstanceCountIsTheFirstLineWithinItsBound) {
    standins.configure("sbin-t38-count", "print 12\nexit 0\n");
    EXPECT_EQ(12, factory.QueryNumOfInstances());
    standins.configure("sbin-t38-count", "exit 0\n");
    EXPECT_EQ(0, factory.QueryNumOfInstances());
    EXPECT_TRUE(said("t38: can't detect T38 resources\n"));

    // A program that hangs holds the loop for the bound only: the query
    // and the ping behind it are answered, and the program is gone.
    standins.configure("sbin-t38-count", "ignore TERM\n");
    Texts got = exchange("{ seq 1, pdu command : query : NULL }");
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(success(1), got[0]);
    EXPECT_NE(std::string::npos, got[1].find("t38-instances 0")) << got[1];
    EXPECT_TRUE(said("t38soft: t38 daemon did not end within 2000 ms, killed\n"));
    EXPECT_EQ(std::vector<int>{}, childPids());

    ASSERT_EQ(0, ::unlink(root.path("/usr/local/sbin/t38").c_str()));
    err.clear();
    log.clear();
    EXPECT_EQ(0, factory.QueryNumOfInstances());
    EXPECT_TRUE(said("t38 daemon not found!\n"));
    EXPECT_FALSE(said("t38: can't detect T38 resources\n"));
}

}  // namespace
