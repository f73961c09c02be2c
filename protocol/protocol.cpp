#include "protocol/protocol.h"

#include <cstring>

// ---- names ---------------------------------------------------------------------

Protocol_name_str::Protocol_name_str(const char* t) : text(t ? new char[std::strlen(t) + 1] : nullptr) {
    if (text) std::strcpy(text, t);
}

Protocol_name_str::~Protocol_name_str() { delete[] text; }

bool Protocol_name_str::compare(const Protocol_name& other) const {
    return other.kind() == kind() && std::strcmp(other.name(), name()) == 0;
}

// ---- Protocol -------------------------------------------------------------------

Protocol::~Protocol() {
    if (owner) owner->remove_protocol(this);
}

bool Protocol::local_prepare_head(Packet& p) { return p.reserve_head(0); }

bool Protocol::local_prepare_tail(Packet& p) { return p.reserve_tail(0); }

Protocol_status_ptr Protocol::local_initialize() { return make_success(this); }

void Protocol::local_activate() { on_activate(); }

void Protocol::local_deactivate() { on_deactivate(make_success(this)); }

bool Protocol::transmit(Packet& p) {
    if (lower()) return lower()->message(p);
    if (owner) return owner->transmit(p);
    return false;
}

void Protocol::on_message(Packet& p) {
    if (upper())
        upper()->receive(p);
    else if (owner)
        owner->on_message(p);
}

void Protocol::on_activate() {
    if (upper())
        upper()->local_activate();
    else if (owner)
        owner->on_activated(this);
}

void Protocol::on_deactivate(Protocol_status_ptr s) {
    if (s->success()) {
        if (lower())
            lower()->deactivate();
        else if (owner)
            owner->on_deactivated(this, s);
    } else {
        if (upper())
            upper()->on_deactivate(s);
        else if (owner)
            owner->on_deactivated(this, s);
    }
}

void Protocol::on_status(Protocol_status_ptr s) {
    if (upper())
        upper()->on_status(s);
    else if (owner)
        owner->on_status(s);
}

bool Protocol::message(Packet&) { return false; }

void Protocol::receive(Packet&) {}

void Protocol::activate() {
    if (lower())
        lower()->activate();
    else
        local_activate();
}

void Protocol::deactivate() { local_deactivate(); }

void Protocol::protocol_info(std::ostream&) {}

void Protocol::hold_receive(bool) {}

bool Protocol::prepare_head(Packet& p) { return descend_prepare_head(p) && local_prepare_head(p); }

bool Protocol::prepare_tail(Packet& p) { return descend_prepare_tail(p) && local_prepare_tail(p); }

bool Protocol::descend_prepare_head(Packet& p) { return !lower() || lower()->prepare_head(p); }

bool Protocol::descend_prepare_tail(Packet& p) { return !lower() || lower()->prepare_tail(p); }

Protocol_status_ptr Protocol::initialize() {
    if (lower()) {
        Protocol_status_ptr s = lower()->initialize();
        if (!s->success()) return s;
    }
    return local_initialize();
}

// ---- ProtocolsList ----------------------------------------------------------------

ProtocolsList::~ProtocolsList() {
    while (Protocol* p = tail) {
        remove(p);
        p->owner = nullptr;
        delete p;
    }
}

void ProtocolsList::on_activated(Protocol*) {}

void ProtocolsList::on_deactivated(Protocol*, Protocol_status_ptr) {}

void ProtocolsList::adopt(Protocol* p) {
    if (p->owner) p->owner->remove_protocol(p);
    p->owner = this;
}

void ProtocolsList::add_protocol_head(Protocol* p) {
    adopt(p);
    insert_to_head(p);
}

void ProtocolsList::add_protocol_tail(Protocol* p) {
    adopt(p);
    insert_to_tail(p);
}

void ProtocolsList::remove_protocol(Protocol* p) {
    if (contains(p)) remove(p);
    p->owner = nullptr;
}

Protocol* ProtocolsList::search(const Protocol_name& name) const {
    for (Protocol* p : *this)
        if (p->compare_name(name)) return p;
    return nullptr;
}

// ---- ProtocolsFamily ----------------------------------------------------------------

bool ProtocolsFamily::message(Packet& p) { return top() ? top()->message(p) : false; }

void ProtocolsFamily::receive(Packet& p) {
    if (bottom()) bottom()->receive(p);
}

void ProtocolsFamily::local_activate() {
    if (top()) top()->activate();
}

void ProtocolsFamily::local_deactivate() {
    if (top()) top()->deactivate();
}

void ProtocolsFamily::on_activated(Protocol* reporter) {
    if (reporter == top()) on_activate();
}

void ProtocolsFamily::on_deactivated(Protocol*, Protocol_status_ptr s) { on_deactivate(s); }

bool ProtocolsFamily::local_prepare_head(Packet& p) {
    return top() ? top()->prepare_head(p) : Protocol::local_prepare_head(p);
}

bool ProtocolsFamily::local_prepare_tail(Packet& p) {
    return top() ? top()->prepare_tail(p) : Protocol::local_prepare_tail(p);
}

Protocol_status_ptr ProtocolsFamily::local_initialize() {
    if (top()) return top()->initialize();
    return Protocol_status_ptr(new Protocol_initialize_error(this));
}
