#include "monitoring/snmp_trap.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/monitoring/trap_catalogue.h"
#include "tests/support/daemon_process.h"

namespace {

using namespace Snmp;
using Bytes = std::vector<uint8_t>;

// The octets an encoder wrote into a fresh buffer, or "refused".
template <class Build>
std::string encoded(Build build, int room = 64) {
    uint8_t buf[256] = {0};
    int left = room;
    uint8_t* end = build(buf, &left);
    if (!end) return "refused";
    EXPECT_EQ(room - (end - buf), left);
    std::string hex;
    char b[4];
    for (uint8_t* p = buf; p < end; ++p) {
        std::snprintf(b, sizeof b, "%s%02x", p == buf ? "" : " ", *p);
        hex += b;
    }
    return hex;
}

std::string integer(int32_t v) {
    return encoded([&](uint8_t* p, int* r) { return asn_build_int(p, r, kInteger, &v, 4); });
}
std::string unsignedInt(uint32_t v) {
    return encoded([&](uint8_t* p, int* r) { return asn_build_unsigned_int(p, r, kCounter32, &v, 4); });
}
std::string objid(std::vector<oid> ids) {
    return encoded([&](uint8_t* p, int* r) {
        return asn_build_objid(p, r, kObjectId, ids.data(), int(ids.size()));
    });
}
std::string length(int n, int room = 64) {
    return encoded([&](uint8_t* p, int* r) { return asn_build_length(p, r, n); }, room);
}

TEST(TrapEncoders, IntegersLengthsAndIdentifiers) {
    const std::pair<std::string, std::string> cases[] = {
        {integer(127), "02 01 7f"},
        {integer(128), "02 02 00 80"},
        {integer(-1), "02 01 ff"},
        {integer(-129), "02 02 ff 7f"},
        {integer(INT_MIN), "02 04 80 00 00 00"},
        {unsignedInt(0x80000000u), "41 05 00 80 00 00 00"},
        {unsignedInt(0x7FFFFFFFu), "41 04 7f ff ff ff"},
        {length(127), "7f"},
        {length(128), "81 80"},
        {length(256), "82 01 00"},
        {length(256, 2), "refused"},
        {objid({1, 3, 6, 1}), "06 03 2b 06 01"},
        {objid({1, 39}), "06 01 4f"},
        {objid({2, 40}), "06 01 78"},
        {objid({2, 999}), "06 02 88 37"},
        {objid({2}), "06 01 50"},
        {objid({}), "06 01 00"},
        {objid({1, 3, 0xFFFFFFFFu}), "06 06 2b 8f ff ff ff 7f"},
        // 1.40 would read back as 2.0.
        {objid({1, 40}), "refused"},
        {objid({0, 40}), "refused"},
        {objid({3, 1}), "refused"},
        {objid(std::vector<oid>(129, 1)), "refused"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, c.first);
}

TEST(TrapEncoders, ParseOidTakesAtMostMax) {
    oid out[16];
    EXPECT_EQ(9, parse_oid(out, 16, "1.3.6.1.2.1.1.3.0"));
    EXPECT_EQ(0, std::memcmp(out, objid_sysuptime, sizeof objid_sysuptime));
    EXPECT_EQ(3, parse_oid(out, 3, "1.3.6.1"));
    EXPECT_EQ(0, parse_oid(out, 0, "1.3"));
    EXPECT_EQ(0, parse_oid(nullptr, 4, "1.3"));
    EXPECT_EQ(0, parse_oid(out, 4, nullptr));
}

class TrapPacking : public ::testing::Test {
protected:
    TrapPacking() {
        snmp_session_seed(&ctx, 1);
        trap_init(&ctx, nullptr);
    }
    int addInteger(int type = kInteger) {
        int32_t v = 5;
        return trap_pack_add(&ctx, objid_sysuptime, 9, type, &v, 4);
    }
    TrapContext ctx{};
};

TEST_F(TrapPacking, StepsOutOfOrderFailAndABadBindingEndsTheTrap) {
    EXPECT_EQ(0, trap_init(nullptr, nullptr));
    EXPECT_EQ(-1, addInteger());
    EXPECT_EQ(-1, trap_pack_end(&ctx));
    ASSERT_EQ(0, trap_pack_begin(&ctx));
    EXPECT_EQ(-1, trap_pack_begin(&ctx));
    EXPECT_EQ(0, addInteger());
    EXPECT_EQ(-1, addInteger(0x46));  // Counter64 is not among the value types
    EXPECT_EQ(-1, addInteger());
    EXPECT_EQ(-1, trap_pack_end(&ctx));
    // Only a new init makes the context usable again.
    trap_init(&ctx, nullptr);
    EXPECT_EQ(0, trap_pack_begin(&ctx));
    EXPECT_EQ(0, addInteger());
    EXPECT_EQ(0, trap_pack_end(&ctx));
    EXPECT_EQ(3, ctx.state);
}

TEST_F(TrapPacking, TheBufferIsNeverOverrun) {
    ASSERT_EQ(0, trap_pack_begin(&ctx));
    const std::string value(100, 'v');
    int added = 0;
    while (trap_pack_add(&ctx, objid_snmptrap, 11, kOctetString, value.data(), int(value.size())) == 0)
        ++added;
    EXPECT_EQ(17, added);  // 17 bindings of 118 octets after a 34-octet head
    EXPECT_GE(ctx.room, 0);
    EXPECT_EQ(-1, ctx.writePos);
    // A value longer than the whole buffer fails at once.
    trap_init(&ctx, nullptr);
    trap_pack_begin(&ctx);
    const std::string huge(4096, 'h');
    EXPECT_EQ(-1, trap_pack_add(&ctx, objid_snmptrap, 11, kOctetString, huge.data(), int(huge.size())));
}

// ---- golden traps ---------------------------------------------------------------------------

std::vector<std::string> fileLines(const std::string& name) {
    std::ifstream in(std::string(KORVAND_TRAP_DIR) + "/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

// "name key=value;key=value" as the decode file holds it.
std::map<std::string, std::string> decodeFields(const std::string& line) {
    std::map<std::string, std::string> fields;
    std::istringstream in(line.substr(line.find(' ') + 1));
    for (std::string pair; std::getline(in, pair, ';');)
        fields[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
    return fields;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items) out += (out.empty() ? "" : ",") + s;
    return out;
}

TEST(GoldenTraps, TheBuilderMakesTheCommittedTrapsAndTsharkReadsThemBack) {
    std::vector<CatalogueTrap> traps = trapCatalogue();
    std::vector<std::string> golden = fileLines("traps.txt");
    std::vector<std::string> decodes = fileLines("decodes.txt");
    ASSERT_EQ(traps.size(), golden.size());
    ASSERT_EQ(traps.size(), decodes.size());
    for (size_t i = 0; i < traps.size(); ++i) {
        const CatalogueTrap& t = traps[i];
        EXPECT_EQ(golden[i], catalogueLine(t));
        std::map<std::string, std::string> d = decodeFields(decodes[i]);
        EXPECT_EQ("1", d["version"]) << t.name;  // SNMPv2c
        EXPECT_EQ("7", d["pdu"]) << t.name;      // snmpV2-trap
        EXPECT_EQ(t.community, d["community"]) << t.name;
        EXPECT_EQ(std::to_string(t.requestId), d["reqid"]) << t.name;
        EXPECT_EQ(joined(t.names), d["names"]) << t.name;
        EXPECT_EQ(0u, d.count("malformed") + d.count("expert")) << decodes[i];
    }
}

// ---- snmptrapd ------------------------------------------------------------------------------

void sendDatagram(int port, const Bytes& octets) {
    int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(ssize_t(octets.size()),
              ::sendto(s, octets.data(), octets.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a));
    ::close(s);
}

TEST(Snmptrapd, LogsEveryBindingOfATrapInTheAcceptedCommunity) {
    char dir[] = "/tmp/korvand-trapd-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::ofstream(std::string(dir) + "/snmptrapd.conf") << "authCommunity log vomrek\n";
    ReservedPort port;
    ChildProcess trapd;
    ASSERT_TRUE(trapd.start("/usr/sbin/snmptrapd",
                            {"-f", "-Lo", "-C", "-c", std::string(dir) + "/snmptrapd.conf", "-On",
                             "-m", "", "-M", "/dev/null",
                             "udp:127.0.0.1:" + std::to_string(port)},
                            {"SNMP_PERSISTENT_DIR=" + std::string(dir), "MIBS="}));
    ASSERT_TRUE(waitFor([&] { return trapd.out().find("NET-SNMP version") != std::string::npos; }))
        << trapd.err() << "\n(scripts/setup installs snmptrapd)";

    std::map<std::string, CatalogueTrap> traps;
    for (CatalogueTrap& t : trapCatalogue()) traps[t.name] = t;
    // A foreign community is dropped; the last trap tells when all are in.
    for (const char* name : {"community-ops", "every-type", "heartbeat"})
        sendDatagram(port, traps[name].octets);
    ASSERT_TRUE(waitFor([&] { return trapd.out().find("Timeticks: (12345)") != std::string::npos; }))
        << trapd.out();
    std::string log = trapd.out();
    size_t received = 0;
    for (size_t at = log.find("[UDP: "); at != std::string::npos; at = log.find("[UDP: ", at + 1))
        ++received;
    EXPECT_EQ(2u, received) << log;
    for (const std::string& name : traps["every-type"].names)
        EXPECT_NE(std::string::npos, log.find("." + name + " = ")) << name << "\n" << log;
    for (const char* value : {"INTEGER: -129", "STRING: \"korvand monitoring\"", "IpAddress: 192.0.2.7",
                              "Counter32: 4294967295", "Gauge32: 65536", "OPAQUE: 01 02 03",
                              "OID: .1.3.6.1.2.1.2.2.1.8.268435456", "Timeticks: (2147483648)"})
        EXPECT_NE(std::string::npos, log.find(value)) << value << "\n" << log;
    ASSERT_EQ(0, system(("rm -rf '" + std::string(dir) + "'").c_str()));
}

}  // namespace
