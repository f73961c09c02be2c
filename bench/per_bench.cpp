// Aligned PER encode and decode time per message for the messages of the
// control and monitoring links: a ping, the create of an RTP slot with every
// parameter, a trunkStatus signal, an hdlcPackages ioctl of about 2 KiB and
// a MON snmp-set of 100 commands, and the largest control message, the
// protoLemz command of 128 radio packets of tests/asn1/lemz_message.h (about
// 23 KB, some 160,000 values). Each decode builds a fresh message, as the
// control server does for every frame.
//
//   bench_per               runs the benchmarks
//   bench_per --messages    prints "NAME MODULE HEX" per message, for
//                           bench/per_compare.sh to time another codec with

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "asn1/gen/lgcp.h"
#include "asn1/gen/mon.h"
#include "tests/asn1/lemz_message.h"

namespace {

const char* const createRtp = R"({ seq 2, slot 17, pdu command : create : rtp : {
  codecRTP {
    payload ptG729,
    dhost { iaddr "192.168.10.21", port 5004 },
    shost { iaddr "192.168.10.2", port 5006 },
    dname "radio-7",
    jitter { start 40, max 120 },
    pfactor 2,
    crate 8000,
    vad TRUE,
    echo { suppressor TRUE, canceller FALSE },
    radio {
      status lemz : {
        flags { prio 3, ptt FALSE, bss TRUE, vad-rx FALSE, vad-tx TRUE, sql TRUE, sh FALSE,
                pwr TRUE, rv FALSE, resv FALSE, selcall 0, li 12 },
        freq { channel 4, frequency "124.350" },
        remote { no 2, ch 1 },
        squelshe persent_90,
        rte r3e,
        standby-state-channel standby,
        standby-group 1,
        standby-state-receiver active
      },
      request lemz : {
        addr { session-addr "10.0.0.7", session-ssrc 305419896 },
        params gw-set-flags : {
          flags { prio 3, ptt TRUE, bss TRUE, vad-rx FALSE, vad-tx TRUE, sql FALSE, sh TRUE,
                  pwr FALSE, rv FALSE, resv FALSE, selcall 2, li 12 }
        }
      },
      rx-delay 20, tx-delay 40, bss-enable TRUE, ng-enable FALSE, selcal-delay 150,
      selcal-sh-enable TRUE
    },
    rtp-e2m { slot 18, channel 9, mode both-rtp-and-rtp-ext : NULL },
    ssrc 4294967295,
    ttl 64,
    qos-dscp ef=46
  },
  txPayload ptG729,
  rxPayload ptG729
} })";

const char* const trunkStatus = R"({ seq 7, slot 0, pdu signal : trunkStatus : {
  trunk 2, state normal, slips 0, lossBF 0, lossCarrier 0, lossAIS 0, lossRAI 0,
  name "E1-2", clockMaster TRUE, type e1 } })";

// Eight HDLC frames of 256 octets.
std::string hdlcPackages() {
    std::string text = "{ seq 9, slot 40, pdu command : ioctl : hdlcPackages : {";
    for (int frame = 0; frame < 8; ++frame) {
        text += frame == 0 ? " { body '" : ", { body '";
        for (int i = 0; i < 256; ++i) {
            static const char digits[] = "0123456789abcdef";
            unsigned octet = (frame * 37 + i * 11) & 0xFF;
            text += digits[octet >> 4];
            text += digits[octet & 0x0F];
        }
        text += "'H }";
    }
    return text + " } }";
}

std::string snmpSet() {
    std::string text = "{ pdu command : snmp-set : { commands {";
    for (int i = 0; i < 100; ++i) {
        text += i == 0 ? " " : ", ";
        text += "{ uniq " + std::to_string(1000 + i) + ", id " +
                (i % 2 ? "oid : \"1.3.6.1.4.1.27350.2." + std::to_string(i) + "\""
                       : "name : { section \"e1\", name \"mode\", index " + std::to_string(i) + " }") +
                ", value \"" + std::to_string(i * 7) + "\" }";
    }
    return text + " } } }";
}

struct Message {
    const char* name;
    const char* module;
    const ASN1::TypeInfo* type;
    std::string text;
};

const std::vector<Message>& messages() {
    static const std::vector<Message> all = {
        {"ping", "LGCP", &LGCP::Message::theInfo, "{ seq 1, slot 5, pdu command : ping : NULL }"},
        {"createRtp", "LGCP", &LGCP::Message::theInfo, createRtp},
        {"trunkStatus", "LGCP", &LGCP::Message::theInfo, trunkStatus},
        {"hdlcPackages", "LGCP", &LGCP::Message::theInfo, hdlcPackages()},
        {"snmpSet100", "MON", &MON::Message::theInfo, snmpSet()},
        {"protoLemz128", "LGCP", &LGCP::Message::theInfo, LemzMessage::text()},
    };
    return all;
}

std::unique_ptr<ASN1::AbstractData> build(const Message& m) {
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(m.type));
    if (!value->setFromValueNotation(m.text)) {
        std::cerr << "bench_per: " << m.name << " does not read\n";
        std::exit(1);
    }
    return value;
}

std::vector<char> encoded(const ASN1::AbstractData& value) {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    std::vector<char> octets;
    if (!ASN1::encode(value, &env, std::back_inserter(octets))) std::exit(1);
    return octets;
}

void BM_Encode(benchmark::State& state, const Message* m) {
    std::unique_ptr<ASN1::AbstractData> value = build(*m);
    for (auto _ : state) {
        ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
        std::vector<char> octets;
        bool ok = ASN1::encode(*value, &env, std::back_inserter(octets));
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(octets.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(encoded(*value).size()));
}

void BM_Decode(benchmark::State& state, const Message* m) {
    std::vector<char> octets = encoded(*build(*m));
    for (auto _ : state) {
        ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
        std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(m->type));
        bool ok = ASN1::decode(octets.data(), octets.data() + octets.size(), &env, *value, true);
        if (!ok) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(value.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(octets.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--messages") == 0) {
        static const char digits[] = "0123456789abcdef";
        for (const Message& m : messages()) {
            std::cout << m.name << ' ' << m.module << ' ';
            for (char c : encoded(*build(m))) {
                std::cout << digits[(c >> 4) & 0x0F] << digits[c & 0x0F];
            }
            std::cout << '\n';
        }
        return 0;
    }
    for (const Message& m : messages()) {
        benchmark::RegisterBenchmark((std::string("Encode/") + m.name).c_str(), BM_Encode, &m);
        benchmark::RegisterBenchmark((std::string("Decode/") + m.name).c_str(), BM_Decode, &m);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
