// The SNMP agent link's handling of one frame payload from an agent:
// decoding, the responses and signals it ignores, the commands it reports.

#include <iostream>
#include <streambuf>
#include <vector>

#include "monitoring/snmp_agent_instance.h"

namespace {

struct Silent : std::streambuf {
    int overflow(int c) override { return c; }
};

SnmpAgentInstance& agent() {
    static Silent silent;
    std::cerr.rdbuf(&silent);
    std::clog.rdbuf(&silent);
    static SnmpAgentInstance instance;
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SnmpAgentInstance& a = agent();
    // A buffer of exactly the input's size, so reads beyond it are caught.
    std::vector<char> payload(data, data + size);
    a.OnMessage(payload.data(), int(payload.size()));
    return 0;
}
