#ifndef KORVAND_PROTOCOL_PROTOCOL_STATUS_H
#define KORVAND_PROTOCOL_PROTOCOL_STATUS_H

#include <cstdint>
#include <ostream>
#include <string>

#include "protocol/smart_pointer.h"

class Protocol;

// The outcome of an activation, deactivation or initialisation, passed
// along a protocol stack. Reference-counted: the last handle deletes it.
class Internal_protocol_status {
public:
    Internal_protocol_status(Protocol* origin, std::string text) : origin(origin), text(std::move(text)) {}
    virtual ~Internal_protocol_status() = default;
    Internal_protocol_status(const Internal_protocol_status&) = delete;
    Internal_protocol_status& operator=(const Internal_protocol_status&) = delete;

    virtual bool success() const = 0;
    virtual std::string message() const { return text; }
    virtual void out(std::ostream& os) const { os << text; }

    void smart_ref() { ++count; }
    void smart_unref() {
        if (count > 0) --count;
        if (count == 0) delete this;
    }

    Protocol* const origin;  // the layer that made the status

private:
    uint32_t count = 0;
    const std::string text;
};

typedef Smart_pointer<Internal_protocol_status> Protocol_status_ptr;

class Protocol_status_success : public Internal_protocol_status {
public:
    explicit Protocol_status_success(Protocol* origin, std::string text = "success")
        : Internal_protocol_status(origin, std::move(text)) {}
    bool success() const override { return true; }
};

// Base of every error status; other layers derive their own from it.
class Protocol_status_error : public Internal_protocol_status {
public:
    Protocol_status_error(Protocol* origin, std::string text)
        : Internal_protocol_status(origin, std::move(text)) {}
    bool success() const override { return false; }
};

// What an empty family's initialisation yields.
class Protocol_initialize_error : public Protocol_status_error {
public:
    explicit Protocol_initialize_error(Protocol* origin) : Protocol_status_error(origin, "error") {}
};

// New statuses already held by a handle.
inline Protocol_status_ptr make_success(Protocol* origin, const std::string& text = "success") {
    return Protocol_status_ptr(new Protocol_status_success(origin, text));
}
inline Protocol_status_ptr make_error(Protocol* origin, const std::string& text) {
    return Protocol_status_ptr(new Protocol_status_error(origin, text));
}

#endif
