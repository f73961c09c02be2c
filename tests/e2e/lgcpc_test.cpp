// The controller client's offline verbs, its help and its failures, run
// as the program.

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

TEST(Lgcpc, EveryFailureIsOneLineThatSaysWhereAndWhat) {
    const char* const pong =
        "lgcpc: line 2, column 17: expected \"query\", \"testBpc\", \"connect\", "
        "\"disconnect\", \"create\", \"destroy\", \"activate\", \"deactivate\", "
        "\"userData\", \"ioctl\", \"trunkCfg\", \"clockCfg\", \"ping\", \"display\" or "
        "\"protoLemz\", found \"pong\"\n";
    const struct {
        std::vector<std::string> args;
        std::string input, error;
    } failures[] = {
        {{"encode", "LGCP.Nothing"},
         "{ pdu command : ping : NULL }",
         "lgcpc: unknown type LGCP.Nothing\n"},
        {{"encode", "LGCP.Message"}, "{ seq 1,\n  pdu command : pong : NULL }", pong},
        {{"encode", "LGCP.Message"},
         "\n  { slot 2000, pdu command : ping : NULL }",
         "lgcpc: line 2, column 3: slot: The INTEGER value 2000 is greater than upper bound "
         "1023\n"},
        {{"encode", "LGCP.Message"},
         "{ slot 1, pdu command : connect : 1024 }",
         "lgcpc: line 1, column 1: pdu.command.connect: The INTEGER value 1024 is greater than "
         "upper bound 1023\n"},
        {{"encode", "LGCP.Message"},
         "{ pdu command : userData : '0g'H }",
         "lgcpc: line 1, column 30: expected a hexadecimal digit, found \"g\"\n"},
        {{"encode", "LGCP.Message"},
         "{ pdu command : ping : NULL\n",
         "lgcpc: line 2, column 1: expected \",\" or \"}\", found the end of the input\n"},
        {{"encode", "LGCP.Message"},
         "{ pdu command : ping : NULL } {",
         "lgcpc: line 1, column 31: expected the end of the input after the LGCP.Message value\n"},
        {{"encode", "LGCP.Message"}, " \n", "lgcpc: the input holds no LGCP.Message value\n"},
        {{"decode", "LGCP.Message"}, "c0 01 0", "lgcpc: the input is not hexadecimal octets\n"},
        // Cut short, of an alternative the type lacks, and with octets
        // after its end.
        {{"decode", "LGCP.Message"}, "c00101", "lgcpc: LGCP.Message: at octet 4, bit 1: the input ends inside slot\n"},
        {{"decode", "LGCP.Message"},
         "80 01 03 10 05 01 02 03",
         "lgcpc: LGCP.Message: at octet 6, bit 1: the input ends inside pdu.command.userData\n"},
        {{"decode", "LGCP.Message"}, "0780", "lgcpc: LGCP.Message: at octet 2, bit 2: pdu.command does not decode\n"},
        {{"decode", "LGCP.Message"},
         "c0010100030858585858",
         "lgcpc: LGCP.Message: at octet 8, bit 1: the value has ended, 3 more octets follow\n"},
        {{"decode", "LGCP.Message"},
         "c0 01 01 00 05 18 00",
         "lgcpc: LGCP.Message: at octet 7, bit 1: the value has ended, 1 more octet follows\n"},
        {{"decode"}, "0600", "lgcpc: decode takes one type, MODULE.Type (see lgcpc --help)\n"},
        {{"send", "LGCP.Message"},
         "",
         "lgcpc: send: unexpected argument \"LGCP.Message\" (see lgcpc --help)\n"},
        {{"send", "--port=0"},
         "",
         "lgcpc: send: --port takes a number from 1 to 65535, not \"0\" (see lgcpc --help)\n"},
        {{"send", "--wait"}, "", "lgcpc: send: --wait needs a value (see lgcpc --help)\n"},
        {{"ping"}, "", "lgcpc: unknown verb \"ping\" (see lgcpc --help)\n"},
    };
    for (const auto& f : failures) {
        Outcome run = lgcpc(f.args, f.input);
        EXPECT_EQ(run.status, 1) << f.input;
        EXPECT_EQ(run.out, "") << f.input;
        EXPECT_EQ(run.err, f.error) << f.input;
    }
}

TEST(Lgcpc, HelpNamesEveryVerbAndOption) {
    const struct {
        std::vector<std::string> args;
        int status;
    } calls[] = {{{}, 1}, {{"-h"}, 0}, {{"--help"}, 0}, {{"send", "--port", "1", "--help"}, 0}};
    for (const auto& call : calls) {
        Outcome run = lgcpc(call.args, "");
        EXPECT_EQ(call.status, run.status);
        const std::string& help = call.status == 0 ? run.out : run.err;
        for (const char* word :
             {"lgcpc send", "lgcpc encode", "lgcpc decode", "--host", "--port", "--wait", "--help"})
            EXPECT_NE(std::string::npos, help.find(word)) << word << " in " << help;
    }
}

}  // namespace
