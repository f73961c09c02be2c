// Radio gateway slots of the running daemon on the simulated board: created
// by the controller, commanded by ioctl, their header extensions written to
// the driver checked against the golden RTP packets that tshark decoded
// (tests/data/rtp), and extension packets injected at the driver reaching
// the controller as `rtpExt` signals.

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "tests/e2e/daemon_fixture.h"
#include "tests/support/lgcp_texts.h"
#include "tests/support/sim_command.h"
#include "tools/lgcpc/client.h"

namespace {

using namespace LgcpTexts;
using Texts = std::vector<std::string>;

struct Golden {
    std::string extension;  // hex, as the driver carries it
    std::string fields;     // tshark's decode
};

// The committed golden packets of a file, by name.
std::map<std::string, Golden> golden(const std::string& file) {
    std::map<std::string, Golden> out;
    std::ifstream in(std::string(KORVAND_RTP_VECTORS) + "/" + file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        size_t name = line.find('\t'), hex = line.find('\t', name + 1);
        std::string packet = line.substr(name + 1, hex - name - 1);
        size_t words = std::stoul(packet.substr(28, 4), nullptr, 16);
        out[line.substr(0, name)] = {packet.substr(32, words * 8), line.substr(hex + 1)};
    }
    return out;
}

const std::string kRtp = "codecRTP { payload ptG711-Alaw, dhost { iaddr \"127.0.0.1\", port 40000 }, shost { iaddr "
                         "\"0.0.0.0\", port 65535 }, radio { status ";
const std::string kPayloads = " } }, txPayload ptG711-Alaw, rxPayload ptG711-Alaw }";

std::string ed137Header(const char* ptt, const char* squ, int id, bool mute = false) {
    return std::string("header { ptt ") + ptt + ", squ " + squ + ", ptt-id " + std::to_string(id) + ", ptt-mute " +
           (mute ? "TRUE" : "FALSE") + ", ptt-summation FALSE, sct FALSE }";
}

std::string lemzFlags(int prio, bool on) {
    std::string b = on ? "TRUE" : "FALSE";
    return "flags { prio " + std::to_string(prio) + ", ptt " + b + ", bss FALSE, vad-rx " + b + ", vad-tx " + b +
           ", sql " + b + ", sh FALSE, pwr FALSE, rv FALSE, resv FALSE, selcall 0, li 0 }";
}

class RadioDaemon : public ControlledDaemon {
protected:
    Texts command(const std::string& cmd) { return ControlledDaemon::command(1, cmd); }
    std::string ext(const std::string& words) { return simCommand(root.dir(), "/dev/rtp_ext " + words); }
    // The next message that is not a board status.
    std::string nextSignal() {
        for (size_t n = seen + 1; client.WaitFor(n); ++n)
            if (!isStatus(client.Received()[n - 1])) return seen = n, client.Received()[n - 1];
        return "";
    }
    void skipReceived() { seen = client.Received().size(); }

    // Whether the payloads written since the last look hold `hex`; the
    // status timer may have written its announcements meanwhile.
    bool wrote(const std::string& hex) {
        std::string lines = "\n" + ext("writes 256 clear") + "\n";
        return lines.find("\n" + hex + "\n") != std::string::npos;
    }

    size_t seen = 0;
};

TEST_F(RadioDaemon, Ed137SlotWritesTheGoldenExtensionsAndReportsTheGroundSide) {
    std::map<std::string, Golden> r2s = golden("r2s.txt");
    ASSERT_EQ((Texts{ok(1), stream(1, "transmitter", 256), stream(1, "receiver", 256)}),
              command("create : rtp : { " + kRtp + "ed-137 : { " + ed137Header("ptt-off", "squ-off", 5) +
                      // No time-out while the test runs.
                      ", radio-response { type radio-txrx, txrxmode txrx, r2s-keepalive-period 1000, "
                      "r2s-keepalive-multiplier 50, ptt-id 5 } }" + kPayloads));
    ext("writes 256 clear");
    // tshark read these: PTT type 1, SQU 1, PTT id 5, and with the signal
    // quality element, quality 20 by AGC.
    const std::string modifier = "ioctl : rtpExt : ed-137 : { addr { session-addr \"10.0.0.2\", session-ssrc 9 }, "
                                 "params rx : { " + ed137Header("normal-ptt-on", "squ-on", 5);
    ASSERT_EQ(Texts{ok(1)}, command(modifier + " } }"));
    EXPECT_TRUE(wrote(r2s.at("rx_header").extension));
    ASSERT_EQ(Texts{ok(1)}, command(modifier + ", sqi { bss-method agc, bss-quality 20 } } }"));
    EXPECT_TRUE(wrote(r2s.at("rx_header_sqi").extension));
    EXPECT_EQ(0u, r2s.at("rx_header_sqi").fields.find("0x0167\t1\t1\t1\t5\t0\t0\t0\t1\t0x01\t1\t20\t1\t"));

    // The ground side's push-to-talk (PTT type 3, id 42, muted).
    skipReceived();
    ASSERT_EQ("ok", ext("inject 256 10.0.0.2 9 " + r2s.at("tx_header").extension));
    EXPECT_EQ(slotMessage(-1, 1, "signal : rtpExt : { status ed-137 : { " + ed137Header("normal-ptt-on", "squ-on", 5) +
                                     ", sqi { bss-method agc, bss-quality 20 } }, request ed-137 : { addr { "
                                     "session-addr \"10.0.0.2\", session-ssrc 9 }, params tx : { " +
                                     ed137Header("priority-ptt-on", "squ-off", 42, true) + " } } }"),
              nextSignal());
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command("destroy : NULL"));
    EXPECT_EQ("error: no session", ext("session 256"));
}

TEST_F(RadioDaemon, LemzSlotWritesTheGoldenPacketsAndReportsTheWorkstation) {
    std::map<std::string, Golden> lemz = golden("lemz.txt");
    const std::string status = "lemz : { " + lemzFlags(0, false) +
                               ", freq { channel 1, frequency \"100\" }, remote { no 0, ch 0 }, squelshe off, rte "
                               "n0n, standby-state-channel active, standby-group 0, standby-state-receiver active }";
    ASSERT_EQ(3u, command("create : rtp : { " + kRtp + status + kPayloads).size());
    ext("writes 256 clear");
    ASSERT_EQ(Texts{ok(1)}, command("ioctl : rtpExt : lemz : { addr { session-addr \"10.0.0.1\", session-ssrc 1 }, "
                                    "params wm-chan : { freq { channel 3, frequency \"121.5\" }, squelshe persent_1, "
                                    "rte a1b } }"));
    EXPECT_TRUE(wrote(lemz.at("wm_chan").extension));

    skipReceived();
    ASSERT_EQ("ok", ext("inject 256 10.0.0.2 9 " + lemz.at("gw_flag_ptt").extension));
    EXPECT_EQ(slotMessage(-1, 1, "signal : rtpExt : { status lemz : { " + lemzFlags(0, false) +
                                     ", freq { channel 3, frequency \"121.500000\" }, remote { no 0, ch 0 }, "
                                     "squelshe persent_1, rte a1b, standby-state-channel active, standby-group 0, "
                                     "standby-state-receiver active }, request lemz : { addr { session-addr "
                                     "\"10.0.0.2\", session-ssrc 9 }, params gw-set-ptt : { " + lemzFlags(1, true) +
                                     " } } }"),
              nextSignal());
}

}  // namespace
