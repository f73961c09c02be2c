#include "core/trace_ctl.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "runtime/ini_file.h"
#include "tests/support/capture.h"

namespace {

struct Switches {
    bool hdlc, lemzgw, events, isdn, internal;
    bool operator==(const Switches& o) const {
        return hdlc == o.hdlc && lemzgw == o.lemzgw && events == o.events && isdn == o.isdn &&
               internal == o.internal;
    }
};

Switches switches(const TraceCtl& t) {
    return Switches{t.hdlc, t.lemzgw, t.events, t.isdn, t.internal};
}

// Reads `text` as a configuration file into `t`, with what it reports.
std::string configure(TraceCtl& t, const std::string& text) {
    IniFile::File file;
    std::istringstream in(text);
    file.IntOpenStream(in);
    StreamCapture err(std::cerr);
    t.Configure(file["traces"]);
    return err.text();
}

TEST(TraceCtlTest, TheKeysTakeTheTruthWordsExactly) {
    TraceCtl t;
    EXPECT_TRUE(switches(t) == (Switches{false, false, false, false, false}));
    EXPECT_EQ("", configure(t,
                            "[traces]\nsignalling.hdlc = yes\nsignalling.lemzgw = enabled\n"
                            "signalling.events = 1\nsignalling.isdn = enable\n"
                            "monitoring.internal = true\n"));
    EXPECT_TRUE(switches(t) == (Switches{true, true, true, true, true}));

    // Words are case-sensitive; a bad one is reported and leaves the switch off.
    std::string report = configure(t, "[traces]\nsignalling.hdlc = Yes\nsignalling.isdn = no\n");
    EXPECT_TRUE(switches(t) == (Switches{false, false, false, false, false}));
    EXPECT_EQ(0u,
              report.find("traces: optional key \"signalling.hdlc\" has invalid value=\"Yes\""));
}

TEST(TraceCtlTest, TheLastSubsectionDecidesEverySwitch) {
    TraceCtl t;
    configure(t,
              "[traces]\nsignalling.hdlc = yes\nsignalling.events = yes\n"
              "[other]\nsignalling.isdn = yes\n"
              "[traces]\nsignalling.events = disabled\nmonitoring.internal = enabled\n");
    EXPECT_TRUE(switches(t) == (Switches{false, false, false, false, true}));

    // Without the section nothing changes.
    configure(t, "[other]\nsignalling.hdlc = yes\n");
    EXPECT_TRUE(switches(t) == (Switches{false, false, false, false, true}));
}

}  // namespace
