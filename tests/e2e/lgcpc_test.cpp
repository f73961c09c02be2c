// The controller client's offline commands, run as the program.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/daemon_process.h"

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome lgcpc(const std::vector<std::string>& args, const std::string& input) {
    ChildProcess p;
    EXPECT_TRUE(p.start(buildProgram("tools/lgcpc"), args, {}, input));
    int status = p.wait();
    EXPECT_TRUE(WIFEXITED(status)) << status;
    return {WEXITSTATUS(status), p.out(), p.err()};
}

TEST(Lgcpc, EncodesValueNotationAndDecodesHex) {
    Outcome encoded = lgcpc({"encode", "LGCP.Message"}, "{ seq 1, slot 5, pdu command : ping : NULL }\n");
    EXPECT_EQ(encoded.status, 0) << encoded.err;
    EXPECT_EQ(encoded.out, "c00101000518\n");
    Outcome decoded = lgcpc({"decode", "LGCP.Message"}, "C0 01 01\n00 05 18\n");
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_EQ(decoded.out, "{\n  seq 1,\n  slot 5,\n  pdu command : ping : NULL\n}\n");

    const std::string set = "{\n  pdu command : snmp-set : {\n    commands {\n      {\n        uniq 7,\n"
                            "        id oid : \"1.3.6.1\",\n        value \"on\"\n      }\n    }\n  }\n}\n";
    Outcome mon = lgcpc({"encode", "MON.Message"}, set);
    ASSERT_EQ(mon.status, 0) << mon.err;
    EXPECT_EQ(lgcpc({"decode", "MON.Message"}, mon.out).out, set);
}

TEST(Lgcpc, EveryFailureIsOneLineOnTheErrorStreamAndStatusOne) {
    const std::pair<std::vector<std::string>, std::string> failures[] = {
        {{"encode", "LGCP.Nothing"}, "{ pdu command : ping : NULL }"},
        {{"encode", "LGCP.Message"}, "{ pdu command : pong : NULL }"},
        {{"encode", "LGCP.Message"}, "{ slot 2000, pdu command : ping : NULL }"},
        {{"decode", "LGCP.Message"}, "c0 01 0"},
        {{"decode", "LGCP.Message"}, "c0 01 zz"},
        {{"decode", "LGCP.Message"}, "c00101"},
        {{"decode"}, "0600"},
        {{"send", "LGCP.Message"}, ""},
    };
    for (const auto& f : failures) {
        Outcome run = lgcpc(f.first, f.second);
        EXPECT_EQ(run.status, 1) << f.second;
        EXPECT_EQ(run.out, "") << f.second;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.err.rfind("lgcpc: ", 0), 0u) << run.err;
    }
}

}  // namespace
