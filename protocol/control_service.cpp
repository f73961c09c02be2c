#include "protocol/control_service.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <iostream>

#include "protocol/strm_protocol.h"
#include "protocol/tpkt_protocol.h"

namespace Control {

const char* GetTextNotation(int state) {
    static const char* const names[] = {"Idle", "Connecting", "Deactivating", "Connected"};
    return state >= 0 && state < 4 ? names[state] : "Unknown";
}

Service::Service(bool trace) : trace(trace), strm(new StrmProtocol), tpkt(new Tpkt_protocol) {
    add_protocol_tail(strm);
    add_protocol_tail(tpkt);
    dpc.Bind(this, &Service::OnDeactivateDPC);
}

Service::~Service() {
    dpc.Deactivate();
}

void Service::service_name(const std::string& n) {
    strm->service_name(n);
}

const std::string& Service::service_name() const {
    return strm->service_name();
}

uint32_t Service::GetOverflowCounter() const {
    return strm->fail_counter();
}

const Measure& Service::get_read_measure() const {
    return strm->read_measure();
}

const Measure& Service::get_write_measure() const {
    return strm->write_measure();
}

// ---- life cycle -------------------------------------------------------------------

bool Service::Activate() {
    Deactivate();
    state = Connecting;
    bool started = ImplActivate();
    if (!started) state = Idle;
    return started && state != Idle;
}

void Service::Deactivate() {
    ImplDeactivate();
    state = Idle;
}

void Service::Disconnect() {
    if (linked && state != Deactivating) deactivate();
}

void Service::Release() {
    linked = false;
    tpkt->reset();
    strm->release();
}

void Service::Attach(Fd fd, const std::string& connection) {
    if (!Attachable()) return;
    name = connection;
    state = Connected;
    linked = true;
    strm->attach(fd);
    // A socket that could not be duplicated fails the activation at once
    // and comes back as a lost connection.
    activate();
    if (listener) listener->OnConnect();
}

// The stream layer or the TPKT layer reports the end of the connection:
// after Disconnect, or on a socket error, hang-up, time-out or end of data.
void Service::on_deactivated(Protocol*, Protocol_status_ptr) {
    if (!linked) return;  // nothing was connected: there is no loss to tell
    linked = false;
    if (trace) std::cerr << "control connection " << name << " closed." << std::endl;
    // A service deactivated meanwhile stays Idle; its owner still hears
    // of the connection it had.
    if (state != Idle) state = Deactivating;
    dpc.Activate();
}

void Service::OnDeactivateDPC() {
    dpc.Deactivate();
    if (state == Deactivating) {
        state = Connecting;
        ImplOnDisconnect();
    }
    if (listener) listener->OnDisconnect();
}

void Service::on_activated(Protocol*) {}

bool Service::PeerClosed() const {
    return strm->peer_closed();
}

// ---- messages ---------------------------------------------------------------------

void Service::on_message(Packet& p) {
    if (state == Deactivating || !listener) return;
    p.passert(!p.is_null(), "null packet");
    listener->OnMessage(reinterpret_cast<const char*>(p.data()), int(p.length()));
}

bool Service::Send(const char* data, int len) {
    if (state != Connected) {
        if (state != Deactivating && trace)
            std::cerr << "Control::Service::Send() ignore Send request in "
                      << GetTextNotation(state) << " state." << std::endl;
        return false;
    }
    if (len < 0 || unsigned(len) > Tpkt_protocol::max_payload) {
        if (trace) std::cerr << "Control::Service::Send() message too long: " << len << std::endl;
        return false;
    }
    static Profile::Point building("Control::Service::Send [1]");
    static Profile::Point handing("Control::Service::Send [2]");
    building.begin();
    Packet p;
    bool built = prepare_head(p);
    if (built) p.put(data, unsigned(len));
    building.end();
    if (!built) {
        if (trace) std::cerr << "Control::Service::Send() no free packet." << std::endl;
        return false;
    }
    handing.begin();
    bool sent = message(p);
    handing.end();
    return sent;
}

// ---- concrete services ------------------------------------------------------------------

void ServiceNet::Connected(Fd fd, const INet4::Addr& address) {
    if (!Attachable()) return;
    int one = 1;
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one) != 0 && GetTrace())
        std::cerr << "fail set keepalive to control socket." << std::endl;
    if (::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0 && GetTrace())
        std::cerr << "fail to turn off Nagle algorithm." << std::endl;
    peer = address;
    Attach(fd, address.GetString());
}

void ServiceUnix::Connected(Fd fd, const std::string& connection) {
    Attach(fd, connection);
}

}  // namespace Control
