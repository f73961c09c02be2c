#include "core/trace_ctl.h"

#include <iostream>

#include "runtime/ini_reader.h"

TraceCtl traces;

void TraceCtl::Configure(IniFile::Section& section) {
    for (IniFile::SubSection* sub = section.mFirst; sub; sub = sub->mNext) Configure(*sub);
}

void TraceCtl::Configure(IniFile::SubSection& sub) {
    *this = TraceCtl();
    IniFile::Reader reader("traces: ", std::cerr);
    reader.mOptional.add(&hdlc, "signalling.hdlc");
    reader.mOptional.add(&lemzgw, "signalling.lemzgw");
    reader.mOptional.add(&events, "signalling.events");
    reader.mOptional.add(&isdn, "signalling.isdn");
    reader.mOptional.add(&internal, "monitoring.internal");
    reader.parse(sub);
}
