#ifndef KORVAND_RUNTIME_TRACE_BLOCK_H
#define KORVAND_RUNTIME_TRACE_BLOCK_H

#include <ostream>

namespace Trace {

// Writes "Enter name" when built and "Leave name" when destroyed.
class Block {
public:
    Block(bool on, const char* name, std::ostream& os) : on(on), name(name), os(os) {
        if (on) os << "Enter " << name << "\n";
    }
    ~Block() {
        if (on) os << "Leave " << name << "\n";
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    bool on;
    const char* name;
    std::ostream& os;
};

}  // namespace Trace

#endif
