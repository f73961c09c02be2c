// The dial-in authentication link in process: records of every length and
// type from a real TCP client, their routing by key, the replies to an
// activation byte for byte, a client that reads slowly, and the bound on
// the clients kept.

#include <cstring>
#include <memory>

#include "board/sim_words.h"
#include "tests/protocol/connection_harness.h"
#include "tests/slots/program_slots.h"

namespace {

// A record of `length` bytes: as much of the header and the words after
// it as fits, the rest 0.
Bytes Record(uint32_t length, uint32_t type, uint32_t key, std::vector<uint32_t> words = {}) {
    words.insert(words.begin(), {length, type, key});
    Bytes b(length);
    for (size_t i = 0; i < length && i < 4 * words.size(); ++i) b[i] = uint8_t(words[i / 4] >> (24 - 8 * (i % 4)));
    return b;
}

Bytes Auth(uint32_t key, const std::string& user, const std::string& password) {
    Bytes b = Record(140, 1, key);
    std::copy(user.begin(), user.end(), b.begin() + 12);
    std::copy(password.begin(), password.end(), b.begin() + 76);
    return b;
}

// From octet 24 four counters of two words, the time word, one not read.
Bytes Acct(uint32_t key) { return Record(64, 4, key, {0, 0, 0, 1, 2, 0, 3, 0, 0xFFFFFFFF, 0, 5, 6, 7}); }

// The authentication program's end of the link, with the daemon's client
// for it.
struct AuthPeer : Peer {
    AuthPeer(ModemFactory& factory, int receiveBuffer = 0) : Peer(Connect(factory.AuthPort(), receiveBuffer)) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &len);
        EXPECT_TRUE(pumpUntil([&] {
            for (AuthClient* c : factory.Clients())
                if (c->Peer().port() == ntohs(a.sin_port)) client = c;
            return client != nullptr;
        }));
    }
    // The buffer is sized before the connection, which fixes the window.
    static Fd Connect(int port, int receiveBuffer) {
        Fd s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer) ::setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a = loopback(port);
        EXPECT_EQ(0, ::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a)) << std::strerror(errno);
        return s;
    }
    bool nothingWaiting() { return !poll() && got.empty(); }

    AuthClient* client = nullptr;
};

class AuthLink : public ModemServer {
protected:
    void SetUp() override {
        ModemServer::SetUp();
        create(1, "{ cid \"\", cdid \"\" }");
        start(1);  // modem 0
        run("sbin-pppd");
    }
    Texts activate(int slot, const std::string& remote = "10.1.2.3") {
        return command(slot, "activate : modem : { remoteAddr \"" + remote +
                                 "\", netmask \"255.255.255.0\", gateway \"\", dns \"8.8.4.4\", mtu 1500 }");
    }
    static std::string auth(const std::string& user, const std::string& password) {
        return slotMessage(-1, 1, "signal : modemProceeding : auth : { username \"" + user + "\", password \"" +
                                      password + "\" }");
    }
    // Errors and the log up to now, forgotten.
    std::string lines() {
        std::string all = err.text() + log.text();
        err.clear();
        log.clear();
        return all;
    }
    static bool has(const std::string& text, const std::string& part) { return ::count(text, part) > 0; }
};

TEST_F(AuthLink, RecordsAreFramedByTheirLengthWord) {
    Bytes unknown = Record(512, 0x63, 0);
    std::string user(64, 'u');
    struct Case {
        Bytes record;
        bool kept;
        Texts signals;
        std::string line;
    } cases[] = {
        {Bytes{0, 0, 0, 3}, false, {}, ": bad record length, disconnected"},
        {Record(513, 1, 0), false, {}, ": bad record length, disconnected"},
        {Record(4, 1, 0), true, {}, ": record of 4 bytes dropped"},
        {Record(11, 1, 0), true, {}, ": record of 11 bytes dropped"},
        {Record(139, 1, 0), true, {}, "01:dsp-modem: auth request, invalid size: 139"},
        {Auth(0, "alice", "s3cret"), true, {auth("alice", "s3cret")}, ""},
        // Fields filled to their end have no NUL.
        {Auth(0, user, ""), true, {auth(user, "")}, ""},
        {Record(63, 4, 0), true, {}, "01:dsp-modem: auth accounting, invalid size: 63"},
        {Acct(0), true, {acct(1, {1, 2, 0, 3, 0, 0xFFFFFFFF, 0, 5, 6})}, ""},
        {unknown, true, {}, "01:dsp-modem: unknown request from portslave: 0x63"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record.size());
        AuthPeer peer(factory);
        lines();
        peer.send(c.record);
        if (!c.kept) {
            EXPECT_TRUE(peer.closedByPeer());
            EXPECT_TRUE(pumpUntil([&] { return factory.Clients().empty(); }));
            std::string text = lines();
            EXPECT_TRUE(has(text, c.line)) << text;
            EXPECT_TRUE(has(text, " disconnected.\n")) << text;
            continue;
        }
        EXPECT_EQ(c.signals, next(c.signals.size()));
        // The connection goes on.
        peer.send(Record(16, 2, 0));
        EXPECT_TRUE(pumpUntil([&] { return has(err.text(), "01:dsp-modem: auth accept, ignored.\n"); }));
        std::string text = lines();
        EXPECT_TRUE(has(text, c.line)) << text;
        EXPECT_FALSE(has(text, "disconnected")) << text;
    }
}

TEST_F(AuthLink, TwoRecordsInOneSegmentAreDeliveredInOnePass) {
    AuthPeer peer(factory);
    size_t before = witness.signals.size();
    peer.send(Auth(0, "bob", "pw") + Acct(0));
    ASSERT_TRUE(pumpUntil([&] { return witness.signals.size() > before; }, 5000, 1000));
    EXPECT_EQ(before + 2, witness.signals.size());
    EXPECT_EQ((Texts{auth("bob", "pw"), acct(1, {1, 2, 0, 3, 0, 0xFFFFFFFF, 0, 5, 6})}), next(2));
}

TEST_F(AuthLink, ActivationAnswersTheClientThatLastSpokeForTheModem) {
    create(2, "{ cid \"\", cdid \"\", ddm { ddm8BIT } }");
    AuthPeer stranger(factory);
    AuthPeer peer(factory);
    lines();
    // No client has spoken for modem 0 yet.
    EXPECT_EQ(Texts{ok(1)}, activate(1));
    EXPECT_EQ(2u, ::count(lines(), "]: send error: unknown auth 0 session.\n"));
    // Key -1 is no modem's: neither the HDLC modem nor a client that has
    // not spoken yet is found by it.
    stranger.send(Record(16, 2, 0xFFFFFFFF));
    EXPECT_TRUE(pumpUntil([&] { return has(err.text(), "]: receive auth request for unknown session -1\n"); }));
    EXPECT_EQ(Texts{ok(2)}, activate(2));
    EXPECT_EQ(2u, ::count(lines(), "]: send error: unknown auth -1 session.\n"));

    peer.send(Record(16, 2, 0));
    ASSERT_TRUE(pumpUntil([&] { return peer.client->Key() == 0; }));
    EXPECT_EQ(Texts{ok(1)}, activate(1));
    EXPECT_EQ("00000010000000020000000000000001"
              "000000240000000300000000000000000a010203ffffff000000000008080404000005dc",
              SimWords::hex(peer.take(52)));

    EXPECT_EQ(Texts{error(1, "unsupported")}, activate(1, "10.1.2"));
    EXPECT_TRUE(has(lines(), "01:dsp-modem: bad address remoteAddr=\"10.1.2\"\n"));
    EXPECT_EQ(Texts{error(1, "unsupported")}, command(1, "activate : empty : NULL"));
    EXPECT_TRUE(has(lines(), "01:dsp-modem: modem's activation requests parameter.\n"));
    EXPECT_TRUE(peer.nothingWaiting());
    EXPECT_TRUE(stranger.nothingWaiting());
}

TEST_F(AuthLink, ClientsBeyondTheBoundAreRefusedAsTheyCome) {
    // A few per modem: the simulated board has 4 DSP modems and 2 HDLC
    // interfaces.
    ASSERT_EQ(24u, factory.MaxClients());
    std::vector<std::unique_ptr<AuthPeer>> kept;
    while (factory.Clients().size() < factory.MaxClients()) kept.emplace_back(new AuthPeer(factory));
    lines();
    Peer extra(AuthPeer::Connect(factory.AuthPort(), 0));
    EXPECT_TRUE(extra.closedByPeer());
    std::string text = lines();
    EXPECT_TRUE(has(text, "]: auth connection from 127.0.0.1:")) << text;
    EXPECT_TRUE(has(text, " refused: 24 clients connected.\n")) << text;
    EXPECT_EQ(24u, factory.Clients().size());

    // Those kept are served as before.
    kept.back()->send(Auth(0, "bob", "pw"));
    EXPECT_EQ(Texts{auth("bob", "pw")}, next(1));
    // A place that comes free is taken again.
    kept.front()->close();
    ASSERT_TRUE(pumpUntil([&] { return factory.Clients().size() == 23; }));
    AuthPeer again(factory);
    EXPECT_NE(nullptr, again.client);
    EXPECT_EQ(24u, factory.Clients().size());
}

TEST_F(AuthLink, ASlowClientGetsEveryReplyInOrder) {
    AuthPeer peer(factory, 4096);
    peer.send(Record(16, 2, 0));
    ASSERT_TRUE(pumpUntil([&] { return peer.client->Key() == 0; }));
    int small = 4096;
    ASSERT_EQ(0, ::setsockopt(peer.client->fd.get(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small));
    const size_t kActivations = 600;
    size_t mostPending = 0;
    for (size_t i = 0; i < kActivations; ++i) {
        activate(1);
        mostPending = std::max(mostPending, peer.client->Pending());
    }
    EXPECT_GT(mostPending, 0u);
    EXPECT_TRUE(peer.client->IsOpen());
    Bytes all = peer.take(kActivations * 52);
    ASSERT_EQ(kActivations * 52, all.size());
    for (size_t at = 0; at < all.size(); at += 52) {
        ASSERT_EQ(2, all[at + 7]) << at;
        ASSERT_EQ(3, all[at + 16 + 7]) << at;
    }
    EXPECT_EQ(0u, peer.client->Pending());
}

}  // namespace
