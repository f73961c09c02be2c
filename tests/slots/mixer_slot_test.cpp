// Mixer inputs and outputs in process on the simulated mixer: the mixers
// the enumeration finds, the sums after every create, release and failure,
// a mixer that vanishes under its slots, and the DSP services of the
// channels reached through ioctls and reporting back.

#include "slots/mixer_slot.h"

#include <cstring>

#include "board/sim_mixer.h"
#include "board/sim_tone_dsp.h"
#include "board/sim_voice.h"
#include "board/sim_voice_dsp.h"
#include "tests/slots/slot_kinds.h"

namespace {

class MixerSlots : public SlotKinds {
protected:
    void SetUp() override {
        SlotKinds::SetUp();
        tone.setClock([] { return 7u; });
    }

    LGCP::Resources query() {
        LGCP::Resources r;
        factory.Query(r);
        return r;
    }
    Texts input(int slot, int channel, const std::string& more = "") {
        return command(slot, "create : mixerIn : { unit 0, channel tdm : " + std::to_string(channel) + more + " }");
    }
    std::string sums(int unit = 0) { return sim.board().control("/dev/mixer sums " + std::to_string(unit)); }
    std::string board(const std::string& line) { return sim.board().control(line); }
    int timeslot(int slot) { return dynamic_cast<Mixer::MixerChannelSlot*>(at(slot))->GetTimeslot(); }

    // A command for a slot, whether it is answered success or refused, the
    // sums of unit 0 afterwards and the MIX_RX_ADD requests it made.
    struct Step {
        int slot;
        std::string command;
        bool created;
        std::string sums;
        int adds;
    };
    void run(const std::vector<Step>& steps) {
        for (const Step& s : steps) {
            SCOPED_TRACE(s.command);
            int before = std::stoi(board("/dev/mixer log add"));
            Texts answer = command(s.slot, s.command);
            EXPECT_EQ(s.created ? ok(s.slot) : error(s.slot, "insufficientResources"), answer.back());
            EXPECT_EQ(s.sums, sums());
            EXPECT_EQ(s.adds, std::stoi(board("/dev/mixer log add")) - before);
        }
    }

    Mixer::MixerFactory factory;
    SimMixer& mixer = sim.model<SimMixer>(SimMixer::kPath);
    SimToneDsp& tone = sim.model<SimToneDsp>(SimToneDsp::kPath);
};

TEST_F(MixerSlots, TheQueryFindsTheMixersResetsNewOnesAndReportsTheSmallestSizes) {
    EXPECT_EQ(Texts{error(1, "insufficientResources")}, input(1, 1));  // no query yet
    mix_rx left{{0, 0, 3}, {0, 0, 4}, 9};
    ASSERT_EQ(0, Mixer::mixer_ctl(Mix::MIX_RX_ADD, &left));

    LGCP::Resources r = query();
    ASSERT_EQ(2u, r.get_mixer().size());
    const LGCP::MixerResources_subtype& m = r.get_mixer()[1];
    EXPECT_EQ((std::vector<int>{1, 24, 24, 96, 770, 17, 24}),
              (std::vector<int>{m.get_unit().getValue(), m.get_tdm_inputs().getValue(), m.get_tdm_outputs().getValue(),
                                m.get_mixer_inputs().getValue(), m.get_dpu_per_mixer().getValue(),
                                m.get_dpu_per_ec().getValue(), m.get_dpu_per_lms().getValue()}));
    EXPECT_EQ("", sums());
    EXPECT_TRUE(said("mixer [0]: clear all inputs\nmixer [1]: clear all inputs\n"));
    EXPECT_TRUE(factory.VersionValid());
    EXPECT_EQ(0, std::memcmp(factory.VersionRecord().bytes, "sim voice 1.0", 14));

    // A second query resets no known mixer.
    ASSERT_EQ(0, Mixer::mixer_ctl(Mix::MIX_RX_ADD, &left));
    query();
    EXPECT_EQ("3: 4@9", sums());

    // At most 100 mixers; none answered reports 0, not -1.
    for (int unit = 2; unit <= SimMixer::kMaxUnit; ++unit) mixer.setMixer(unit, 8, 4);
    EXPECT_EQ(100u, query().get_mixer().size());
    EXPECT_EQ(8, factory.TdmChannels());
    mixer.failRequest(Mix::MIX_ENUM, ENODEV);
    EXPECT_EQ(0u, query().get_mixer().size());
    EXPECT_EQ(-1, factory.TdmChannels());
    mixer.failRequest(Mix::MIX_ENUM, 0);
    sim.model<SimVoice>(SimVoice::kPath).failOpen(ENOENT, 1);
    query();
    EXPECT_TRUE(said("mixer: device \"/dev/voice\" open fail: No such file or directory\n"));
}

TEST_F(MixerSlots, SumsFollowEveryCreateReleaseAndFailure) {
    query();
    run({
        {1, "create : mixerIn : { unit 0, channel tdm : 1, summator tdm : 5 }", true, "5: 1@32767", 1},
        {2, "create : mixerIn : { unit 0, channel tdm : 2, summator tdm : 5, ecm { ec FALSE, es TRUE } }", true,
         "5: 1@32767 2@32767", 1},
        {3, "create : mixerIn : { unit 0, channel tdm : 3, summator rtp : 5 }", true, "5: 1@32767 2@32767", 0},
        {4, "create : mixerOut : { unit 0, channel tdm : 7, inputs { { channel tdm : 1, gain 100 }, "
            "{ channel tdm : 2, gain 200 } } }",
         true, "5: 1@32767 2@32767\n7: 1@100 2@200", 2},
        {5, "create : mixerOut : { unit 0, channel tdm : 8, inputs { } }", true,
         "5: 1@32767 2@32767\n7: 1@100 2@200\n8: 8@32767", 1},
        // Refused outputs leave no sum: an rtp input, an input the driver
        // refuses, a channel beyond the smallest mixer, a unit not found.
        {6, "create : mixerOut : { unit 0, channel tdm : 9, inputs { { channel tdm : 1, gain 1 }, "
            "{ channel rtp : 2, gain 1 } } }",
         false, "5: 1@32767 2@32767\n7: 1@100 2@200\n8: 8@32767", 0},
        {6, "create : mixerOut : { unit 0, channel tdm : 9, inputs { { channel tdm : 1, gain 1 }, "
            "{ channel tdm : 40, gain 1 } } }",
         false, "5: 1@32767 2@32767\n7: 1@100 2@200\n8: 8@32767", 2},
        {6, "create : mixerOut : { unit 0, channel tdm : 24, inputs { { channel tdm : 1, gain 1 } } }", false,
         "5: 1@32767 2@32767\n7: 1@100 2@200\n8: 8@32767", 0},
        {6, "create : mixerIn : { unit 7, channel tdm : 1 }", false, "5: 1@32767 2@32767\n7: 1@100 2@200\n8: 8@32767", 0},
        {1, "destroy : NULL", true, "5: 2@32767\n7: 1@100 2@200\n8: 8@32767", 0},
        {3, "destroy : NULL", true, "5: 2@32767\n7: 1@100 2@200\n8: 8@32767", 0},
        {4, "destroy : NULL", true, "5: 2@32767\n8: 8@32767", 0},
    });
    EXPECT_TRUE(said("mixer [0]: wrong summator coding !\n"));
    EXPECT_TRUE(said("mixer [0]: SetTX error: translation fail [2]\n"));
    EXPECT_TRUE(said("mixer [0]: MIX_RX_ADD fail : Invalid argument\n"));
    EXPECT_TRUE(said("mixer [0]: clear tdm output 7\n"));
    EXPECT_EQ("1", board("/dev/mixer log remove"));  // slot 3 had no summator to remove
    EXPECT_TRUE(tone.channel(uint32_t(timeslot(2))).lms);
}

// A channel carries one sum and one switch output: a second slot on a
// channel that a live mixer slot holds is refused before any sum changes,
// also when the holder's mixer has vanished and come back.
TEST_F(MixerSlots, AChannelHeldByAnotherMixerSlotIsRefused) {
    query();
    run({
        {1, "create : mixerIn : { unit 0, channel tdm : 0, summator tdm : 5 }", true, "5: 0@32767", 1},
        {2, "create : mixerOut : { unit 0, channel tdm : 0, inputs { } }", false, "5: 0@32767", 0},
        {5, "create : mixerOut : { unit 0, channel tdm : 0, inputs { { channel tdm : 7, gain 5 } } }", false,
         "5: 0@32767", 0},
        {3, "create : mixerIn : { unit 0, channel tdm : 0 }", false, "5: 0@32767", 0},
        {6, "create : mixerOut : { unit 0, channel tdm : 3, inputs { } }", true, "3: 3@32767\n5: 0@32767", 1},
        {7, "create : mixerIn : { unit 0, channel tdm : 3, summator tdm : 5 }", false, "3: 3@32767\n5: 0@32767", 0},
        // The same channel of another mixer is another channel.
        {4, "create : mixerIn : { unit 1, channel tdm : 0 }", true, "3: 3@32767\n5: 0@32767", 0},
        // A create at the holder's own id replaces it.
        {1, "create : mixerIn : { unit 0, channel tdm : 0, summator tdm : 6 }", true, "3: 3@32767\n6: 0@32767", 1},
        {1, "destroy : NULL", true, "3: 3@32767", 0},
        {2, "create : mixerOut : { unit 0, channel tdm : 0, inputs { } }", true, "0: 0@32767\n3: 3@32767", 1},
    });
    EXPECT_TRUE(said("mixer [0]: channel 0 is held by 01:mixer tdm input\n"));
    EXPECT_TRUE(said("mixer [0]: channel 3 is held by 06:mixer tdm output\n"));

    // Slot 4 keeps channel 0 of unit 1 while its mixer vanishes and comes
    // back new.
    ASSERT_TRUE(mixer.removeMixer(1));
    size_t before = client.Received().size();
    query();
    EXPECT_EQ(Texts{abort(4, 0)}, barrier(before));
    mixer.setMixer(1, 24, 96);
    query();
    EXPECT_EQ(Texts{error(8, "insufficientResources")}, command(8, "create : mixerIn : { unit 1, channel tdm : 0 }"));
    command(4, "destroy : NULL");
    EXPECT_EQ(Texts{ok(8)}, command(8, "create : mixerIn : { unit 1, channel tdm : 0 }"));
}

TEST_F(MixerSlots, AMixerThatVanishesAbortsItsSlotsWhichStillRelease) {
    query();
    EXPECT_EQ(Texts{ok(1)}, command(1, "create : mixerIn : { unit 1, channel tdm : 1, summator tdm : 2 }"));
    EXPECT_EQ(Texts{ok(2)}, command(2, "create : mixerOut : { unit 1, channel tdm : 2, inputs { } }"));
    ASSERT_TRUE(mixer.removeMixer(1));
    size_t before = client.Received().size();
    query();
    EXPECT_EQ((Texts{signal(1, "abort : 0"), signal(2, "abort : 0")}), barrier(before));
    EXPECT_EQ(Texts{error(3, "insufficientResources")},
              command(3, "create : mixerIn : { unit 1, channel tdm : 3 }"));
    EXPECT_EQ((Texts{ok(1, 0), ok(1)}), command(1, "destroy : NULL"));
    EXPECT_TRUE(said("mixer [1]: MIX_RX_REMOVE rx.number=2 tx.number=1 fail : No such device\n"));
    EXPECT_EQ((Texts{ok(2, 0), ok(2)}), command(2, "destroy : NULL"));  // the last slot takes the mixer along

    // Reported again, the unit is a new mixer, reset again.
    mixer.setMixer(1, 24, 96);
    log.clear();
    query();
    EXPECT_TRUE(said("mixer [1]: clear all inputs\n"));
    EXPECT_EQ(Texts{ok(3)}, command(3, "create : mixerIn : { unit 1, channel tdm : 3 }"));
}

TEST_F(MixerSlots, IoctlsReachTheChannelsDspsAndTheirEventsTheController) {
    query();
    input(1, 1);
    command(2, "create : mixerOut : { unit 0, channel tdm : 2, inputs { } }");
    std::string in = std::to_string(timeslot(1)), out = std::to_string(timeslot(2));
    struct Case {
        int slot;
        const char* ioctl;
        const char* answer;  // "" for success
        std::string check;   // a board command
        std::string shows;   // a part of its reply
    } cases[] = {
        {1, "rx-gain : { gainDB -6 }", "", "/dev/dsp state " + in, "gain=-6"},
        {1, "delays : { rx 10, tx 20, selcal 30 }", "", "/dev/dsp state " + in, "delays=10,20,0"},
        {1, "dtmf-enable : TRUE", "", "/dev/dtmf state " + in, "dtmf=on"},
        {1, "vad-enable : TRUE", "", "/dev/dsp state " + in, "vad=on"},
        {1, "tone-filter : { freq 2100, enable TRUE, duration-th-msec 40, det-level-dB -30 }", "",
         "/dev/dsp state " + in, "filters=2100:1:40:-30"},
        {2, "tone-gen-enable : { freq 440, amp 1000 }", "", "/dev/dtmf state " + out, "generator=440,0,1000,0"},
        {2, "tone-gen-disable : NULL", "", "/dev/dtmf state " + out, "generator=0,0,0,0"},
        {2, "sd-params : NULL", "", "/dev/dsp state " + out, "sd_config=on"},
        {1, "tone-gen-enable : { freq 440, amp 1000 }", "unsupported", "", ""},
        {2, "rx-gain : { gainDB 3 }", "unsupported", "", ""},
        {2, "dtmf-disable : NULL", "unsupported", "", ""},  // no sequence runs
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ioctl);
        EXPECT_EQ(Texts{*c.answer ? error(c.slot, c.answer) : ok(c.slot)}, command(c.slot, std::string("ioctl : ") + c.ioctl));
        if (!c.check.empty()) {
            EXPECT_NE(std::string::npos, board(c.check).find(c.shows)) << board(c.check);
        }
    }
    EXPECT_TRUE(said("mixer [0]: error: selcal delay isn't supported for mixer!!! Set to zero.\n"));

    // The input's DTMF and VAD events reach the controller; an output's VAD
    // does not.
    command(2, "ioctl : vad-enable : TRUE");
    size_t before = client.Received().size();
    ASSERT_EQ("ok", board("/dev/dtmf dtmf " + in + " 5"));
    ASSERT_EQ("ok", board("/dev/dsp vad " + in + " 1 -1"));
    ASSERT_EQ("ok", board("/dev/dsp vad " + out + " 1 -1"));
    pumpPasses(3);
    Texts got = barrier(before);  // the two devices are read in no set order
    EXPECT_EQ(2u, got.size());
    EXPECT_TRUE(has(got, signal(1, "tonec : { timestamp 7, event dtmf : 5 }")));
    EXPECT_TRUE(has(got, signal(1, "vad : { vad-rx TRUE }")));

    // What the channels turned on goes off with them.
    command(1, "destroy : NULL");
    EXPECT_NE(std::string::npos, board("/dev/dsp state " + in).find("vad=off"));
    EXPECT_NE(std::string::npos, board("/dev/dsp state " + in).find("gain=0"));
    EXPECT_NE(std::string::npos, board("/dev/dtmf state " + in).find("dtmf=off"));
}

}  // namespace
