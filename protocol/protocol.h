#ifndef KORVAND_PROTOCOL_PROTOCOL_H
#define KORVAND_PROTOCOL_PROTOCOL_H

#include <ostream>

#include "protocol/packet.h"
#include "protocol/protocol_status.h"
#include "runtime/dual_list.h"

// The name of a protocol layer.
class Protocol_name {
public:
    virtual ~Protocol_name() = default;
    virtual int kind() const = 0;
    virtual const char* name() const = 0;
    virtual bool compare(const Protocol_name& other) const = 0;
};

class Protocol_name_null : public Protocol_name {
public:
    int kind() const override { return 0; }
    const char* name() const override { return "(no name)"; }
    bool compare(const Protocol_name& other) const override { return other.kind() == kind(); }
};

class Protocol_name_str : public Protocol_name {
public:
    explicit Protocol_name_str(const char* text);
    ~Protocol_name_str() override;
    Protocol_name_str(const Protocol_name_str&) = delete;
    Protocol_name_str& operator=(const Protocol_name_str&) = delete;

    int kind() const override { return 1; }
    const char* name() const override { return text ? text : "(no name)"; }
    bool compare(const Protocol_name& other) const override;

private:
    char* text;
};

// What a layer says about itself: every layer reports "(no name)" and
// matches no name.
class Protocol_info {
public:
    virtual ~Protocol_info() = default;
    virtual bool compare_name(const Protocol_name&) const { return false; }
    virtual const Protocol_name& name() const { return layer_name; }

private:
    Protocol_name_null layer_name;
};

class ProtocolsList;

// One layer of a protocol stack. Its list (the owner) orders the layers from
// the wire (head, lower) to the top (tail, upper). Packets go down with
// message()/transmit() and up with on_message()/receive(); statuses go down
// on a successful deactivation and up on an error.
//
// message() and transmit() report whether the packet was taken: false when
// it could not be framed or written, or nobody below takes it.
class Protocol : public F_dual_list_item<Protocol>, public Protocol_info {
public:
    Protocol() = default;
    // A layer that still has an owner leaves its list first.
    ~Protocol() override;
    Protocol(const Protocol&) = delete;
    Protocol& operator=(const Protocol&) = delete;

    virtual bool local_prepare_head(Packet& p);
    virtual bool local_prepare_tail(Packet& p);
    virtual Protocol_status_ptr local_initialize();
    virtual void local_activate();
    virtual void local_deactivate();
    virtual bool transmit(Packet& p);
    virtual void on_message(Packet& p);
    virtual void on_activate();
    virtual void on_deactivate(Protocol_status_ptr s);
    virtual void on_status(Protocol_status_ptr s);
    virtual bool message(Packet& p);
    virtual void receive(Packet& p);
    virtual void activate();
    virtual void deactivate();
    virtual void protocol_info(std::ostream& os);
    // Flow control from the layer above: while held, a layer that reads a
    // device reads nothing more, so what it would deliver waits in the
    // device. Layers that read nothing ignore it.
    virtual void hold_receive(bool hold);

    // Reserve the head (tail) room of this layer and every layer below it;
    // the bottom layer takes the block. False when the pool is empty.
    bool prepare_head(Packet& p);
    bool prepare_tail(Packet& p);
    bool descend_prepare_head(Packet& p);
    bool descend_prepare_tail(Packet& p);
    // Initialises the layers below first; the first failure stops the walk.
    Protocol_status_ptr initialize();

    Protocol* upper() const { return next; }
    Protocol* lower() const { return prev; }
    ProtocolsList* owner = nullptr;
};

// An ordered list of layers that owns them (they are created on the heap).
class ProtocolsList : public Protocol, public F_dual_list<Protocol> {
public:
    ProtocolsList() = default;
    // Deletes the layers, the top one first.
    ~ProtocolsList() override;

    virtual void on_activated(Protocol* reporter);
    virtual void on_deactivated(Protocol* reporter, Protocol_status_ptr s);
    virtual void add_protocol_head(Protocol* p);
    virtual void add_protocol_tail(Protocol* p);
    Protocol* search(const Protocol_name& name) const;

    // Used by a layer that leaves the list.
    void remove_protocol(Protocol* p);

private:
    void adopt(Protocol* p);
};

// A list that acts as one layer whose inside is its stack.
class ProtocolsFamily : public ProtocolsList {
public:
    bool message(Packet& p) override;
    void receive(Packet& p) override;
    void local_activate() override;
    void local_deactivate() override;
    void on_activated(Protocol* reporter) override;
    void on_deactivated(Protocol* reporter, Protocol_status_ptr s) override;
    bool local_prepare_head(Packet& p) override;
    bool local_prepare_tail(Packet& p) override;
    Protocol_status_ptr local_initialize() override;

    Protocol* top() const { return tail; }
    Protocol* bottom() const { return head; }
};

#endif
