#include "core/ctrl_server.h"

#include <algorithm>
#include <iostream>
#include <iterator>

#include "asn1/allocator.h"
#include "asn1/coder_env.h"
#include "runtime/hex_out.h"

CtrlSrv::Server ctrlServer;

namespace CtrlSrv {

namespace {

const int maximum_slot = 1023;

}  // namespace

// ---- Service ------------------------------------------------------------------------

bool Service::Bound() const {
    if (server) return true;
    std::cerr << "CtrlSrv::Service error! service not connected to server." << std::endl;
    return false;
}

void Service::Success() {
    if (Bound()) server->Success();
}

void Service::Error(LGCP::ErrorCause::NamedNumber cause) {
    if (Bound()) server->Error(cause);
}

unsigned Service::delayResponse() {
    return Bound() ? server->delayResponse() : unsigned(-1);
}

void Service::delayedSuccess(unsigned slot, unsigned seq) {
    if (Bound()) server->delayedSuccess(slot, seq);
}

void Service::SendSignal(const LGCP::Signal& signal) {
    if (Bound()) server->SendSignal(this, signal, server->slot != -1, unsigned(server->slot));
}

void Service::SendSignal(unsigned slot, const LGCP::Signal& signal) {
    if (Bound()) server->SendSignal(this, signal, true, slot);
}

int Service::GetSlot() const {
    return Bound() ? server->slot : -1;
}

bool Service::IsSlotPresent() const {
    return Bound() && server->slot != -1;
}

bool Service::CheckServerConnection(bool& connected) const {
    if (!server || !server->GetService()) return false;
    connected = server->GetService()->GetState() == Control::Service::Connected;
    return true;
}

// ---- Server: connection -------------------------------------------------------------

Server::~Server() {
    if (!service) return;
    service->UnBind();
    service->Deactivate();
}

void Server::Bind(Service* s) {
    services.push_back(s);
    s->server = this;
}

void Server::Unbind(Service* s) {
    services.erase(std::remove(services.begin(), services.end(), s), services.end());
    if (s->server == this) s->server = nullptr;
}

bool Server::Activate(Control::Service* s) {
    Deactivate();
    service.reset(s);
    service->service_name("server");
    service->Bind(this);
    return service->Activate();
}

void Server::Deactivate() {
    if (trimTimer.armed()) TrimHeap();
    if (!service) return;
    service->Deactivate();
    OnDisconnect();
    service->UnBind();
    service.reset();
}

// The services are walked by index: a callback may bind another one.
void Server::OnConnect() {
    PutHeader(std::clog);
    std::clog << "controller connect." << std::endl;
    for (size_t i = 0; i < services.size(); ++i) services[i]->OnConnect();
}

void Server::OnDisconnect() {
    for (size_t i = 0; i < services.size(); ++i) services[i]->OnDisconnect();
}

void Server::OnHeartbeatTimeout() {
    if (service) service->Disconnect();
}

void Server::PutHeader(std::ostream& os) const {
    if (!service)
        os << "ctrl [null]: ";
    else if (service->GetState() == Control::Service::Connected)
        os << "ctrl [" << service->GetConnectionName() << "]: ";
    else
        os << "ctrl [not connected]: ";
}

// ---- Server: requests ---------------------------------------------------------------

void Server::OnMessage(const char* data, int len) {
    Receive(data, len);
    slot = -1;
    // A large message's values went back to the heap: its memory goes back
    // to the system once no other has come for a while.
    if (ASN1::heapTrimDue()) trimTimer.set(trim_delay_ms, &Server::TrimHeap, this);
}

void Server::TrimHeap() {
    trimTimer.reset();
    ASN1::trimHeap();
}

void Server::Receive(const char* data, int len) {
    LGCP::Message msg;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (ASN1::decode(data, data + len, &env, msg, false)) {
        Handle(msg);
    } else {
        PutHeader(std::cerr);
        std::cerr << "receive fail: decode error!" << std::endl;
        std::cerr << " msg: " << ext::OutBufInHex(data, size_t(len)) << std::endl;
    }
}

void Server::Handle(const LGCP::Message& msg) {
    ackState = nothingSent;
    hasSeq = msg.has_seq();
    if (hasSeq) seq = msg.get_seq().getValue();
    slot = -1;
    if (!msg.get_pdu().is_command()) {
        Error(LGCP::ErrorCause::unexpectedMsgType);
        return;
    }
    // The decoder takes any slot id that fits its field, so the range is
    // checked here. The reply must not echo the id: it would not encode.
    if (msg.has_slot()) {
        unsigned id = msg.get_slot().getValue();
        if (id > unsigned(maximum_slot)) {
            Error(LGCP::ErrorCause::invalidSlot);
            return;
        }
        slot = int(id);
    }
    if (!Dispatch(msg.get_pdu().get_command())) {
        Error(LGCP::ErrorCause::unexpectedMsgType);
    } else if (ackState == nothingSent) {
        PutHeader(std::cerr);
        std::cerr << "software error: server do NOT send ack!!!" << std::endl;
        Error(LGCP::ErrorCause::internal);
    }
}

bool Server::Dispatch(const LGCP::Command& command) {
    for (size_t i = 0; i < services.size(); ++i)
        if (services[i]->OnCommand(command)) return true;
    return false;
}

void Server::Answer(LGCP::Message& reply) {
    if (hasSeq) reply.set_seq(seq);
    if (slot != -1) reply.set_slot(unsigned(slot));
    SendMsg(reply);
}

void Server::Success() {
    if (ackState != nothingSent) return;
    LGCP::Message reply;
    reply.set_pdu().set_response().set_success();
    ackState = successSent;
    Answer(reply);
}

// An error after a success is still sent: the controller learns that the
// command failed after all.
void Server::Error(LGCP::ErrorCause::NamedNumber cause) {
    if (ackState == errorSent) return;
    LGCP::Message reply;
    reply.set_pdu().set_response().set_error(cause);
    ackState = errorSent;
    Answer(reply);
}

// A request without a sequence number gets 0, not the number that an
// earlier request left behind.
unsigned Server::delayResponse() {
    ackState = successSent;
    return hasSeq ? unsigned(seq) : 0;
}

void Server::delayedSuccess(unsigned slotId, unsigned seqNumber) {
    LGCP::Message reply;
    reply.set_seq(int(seqNumber));
    reply.set_slot(slotId);
    reply.set_pdu().set_response().set_success();
    SendMsg(reply);
}

void Server::SendSignal(Service* from, const LGCP::Signal& signal, bool withSlot, unsigned id) {
    for (size_t i = 0; i < services.size(); ++i)
        if (services[i] != from) services[i]->OnSignal(signal);
    LGCP::Message msg;
    if (withSlot) msg.set_slot(id);
    msg.set_pdu().set_signal(signal);
    SendMsg(msg);
}

void Server::SendMsg(LGCP::Message& msg) {
    std::vector<char> octets;
    octets.reserve(reserved_octets);
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (!ASN1::encode(msg, &env, std::back_inserter(octets))) {
        PutHeader(std::cerr);
        std::cerr << "send fail: encode error!" << msg << std::endl;
    } else if (!service) {
        PutHeader(std::cerr);
        std::cerr << "send fail: Service not attached!" << std::endl;
    } else {
        service->Send(octets.data(), int(octets.size()));
    }
}

}  // namespace CtrlSrv
