#include "tests/monitoring/trap_catalogue.h"

#include <cstdio>
#include <cstring>

#include "monitoring/snmp_trap.h"

namespace {

using namespace Snmp;

struct Binding {
    std::vector<oid> name;
    int type;
    std::vector<uint8_t> value;
};

std::vector<uint8_t> word(uint32_t v) {
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
}

std::vector<uint8_t> ids(const std::vector<oid>& o) {
    std::vector<uint8_t> b(o.size() * 4);
    if (!o.empty()) std::memcpy(b.data(), o.data(), b.size());
    return b;
}

std::vector<uint8_t> text(const char* s) {
    return std::vector<uint8_t>(s, s + std::strlen(s));
}

std::string dotted(const std::vector<oid>& o) {
    std::string out;
    for (oid v : o) out += (out.empty() ? "" : ".") + std::to_string(v);
    return out;
}

const std::vector<oid> kUptime(objid_sysuptime, objid_sysuptime + 9);
const std::vector<oid> kTrapOid(objid_snmptrap, objid_snmptrap + 11);
const std::vector<oid> kHeartbeat = {1, 3, 6, 1, 4, 1, 8072, 2, 3, 0, 1};
std::vector<oid> object(oid n) {
    return {1, 3, 6, 1, 4, 1, 8072, 2, 3, 2, n};
}

// The first two bindings of every trap: the uptime and the trap's name.
std::vector<Binding> head(uint32_t ticks, const std::vector<oid>& trap) {
    return {{kUptime, kTimeTicks, word(ticks)}, {kTrapOid, kObjectId, ids(trap)}};
}

CatalogueTrap build(const std::string& name, int seed, const TrapParams* params,
                    const std::vector<Binding>& bindings) {
    TrapContext ctx{};
    snmp_session_seed(&ctx, seed);
    trap_init(&ctx, params);
    CatalogueTrap trap{name, std::string(ctx.community, strnlen(ctx.community, kCommunitySize)),
                       ctx.requestId, {}, {}};
    trap_pack_begin(&ctx);
    for (const Binding& b : bindings) {
        trap_pack_add(&ctx, b.name.data(), int(b.name.size()), b.type,
                      b.value.empty() ? nullptr : b.value.data(), int(b.value.size()));
        trap.names.push_back(dotted(b.name));
    }
    if (trap_pack_end(&ctx) == 0) trap.octets.assign(ctx.buffer, ctx.buffer + ctx.length);
    return trap;
}

}  // namespace

std::vector<CatalogueTrap> trapCatalogue() {
    std::vector<CatalogueTrap> traps;
    traps.push_back(build("heartbeat", 1, nullptr, head(12345, kHeartbeat)));

    std::vector<Binding> all = head(0x80000000u, kHeartbeat);
    const uint8_t ip[] = {192, 0, 2, 7};
    const uint8_t bits[] = {0x00, 0xA5};
    all.push_back({object(1), kInteger, word(uint32_t(-1))});
    all.push_back({object(2), kInteger, word(127)});
    all.push_back({object(3), kInteger, word(128)});
    all.push_back({object(4), kInteger, word(uint32_t(-129))});
    all.push_back({object(5), kOctetString, text("korvand monitoring")});
    all.push_back({object(6), kIpAddress, std::vector<uint8_t>(ip, ip + 4)});
    all.push_back({object(7), kCounter32, word(0xFFFFFFFFu)});
    all.push_back({object(8), kGauge32, word(65536)});
    all.push_back({object(9), kUInteger32, word(0x7FFFFFFFu)});
    all.push_back({object(10), kOpaque, text("\x01\x02\x03")});
    all.push_back({object(11), kNull, {}});
    all.push_back({object(12), kObjectId, ids({1, 3, 6, 1, 2, 1, 2, 2, 1, 8, 268435456})});
    all.push_back({object(13), kBitString, std::vector<uint8_t>(bits, bits + 2)});
    all.push_back({object(14), kOctetString, {}});
    traps.push_back(build("every-type", 850009, nullptr, all));

    TrapParams params{};
    std::memcpy(params.community, "public-gateway-monitoring-28", kCommunitySize);
    traps.push_back(build("community-of-28", 7, &params, head(1, kHeartbeat)));
    std::memcpy(params.community, "ops\0ignored", 11);
    traps.push_back(build("community-ops", 8, &params, head(2, kHeartbeat)));

    traps.push_back(build("no-bindings", 9, nullptr, {}));
    traps.push_back(build("top-arc-2", 10, nullptr,
                          {{{2, 999, 3}, kOctetString, text("joint")},
                           {{1, 39, 1}, kInteger, word(39)}}));
    return traps;
}

std::string catalogueLine(const CatalogueTrap& trap) {
    std::string line = trap.name;
    char hex[4];
    for (uint8_t b : trap.octets) {
        std::snprintf(hex, sizeof hex, " %02x", b);
        line += hex;
    }
    return line;
}
