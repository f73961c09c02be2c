#ifndef KORVAND_CORE_TRACE_CTL_H
#define KORVAND_CORE_TRACE_CTL_H

#include "runtime/ini_file.h"

// The switches of the configuration section "traces" that gate the verbose
// diagnostic traces. All are off until the configuration turns them on.
struct TraceCtl {
    // Constant-initialised, so the switches read off even from the static
    // constructors that run before this unit's.
    constexpr TraceCtl()
        : hdlc(false), lemzgw(false), events(false), isdn(false), internal(false) {}

    // Each subsection of the section in file order; so with several
    // subsections the last one decides every switch.
    void Configure(IniFile::Section& section);
    // Turns every switch off, then reads the five keys as booleans. A key
    // that is missing leaves its switch off; a value that is no truth word
    // is reported on the error stream behind "traces: " and leaves it off.
    void Configure(IniFile::SubSection& sub);

    bool hdlc;      // "signalling.hdlc": HDLC channel and HDLC slot frames
    bool lemzgw;    // "signalling.lemzgw"
    bool events;    // "signalling.events": voice-processing DSP events
    bool isdn;      // "signalling.isdn": ISDN slot
    bool internal;  // "monitoring.internal": monitoring controller
};

extern TraceCtl traces;

#endif
