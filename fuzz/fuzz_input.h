#ifndef KORVAND_FUZZ_FUZZ_INPUT_H
#define KORVAND_FUZZ_FUZZ_INPUT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

// A fuzz input read from the front: past its end every byte reads as 0 and
// every run as empty, so a target never reads outside the input.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool empty() const { return p_ == end_; }
    uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
    std::string bytes(size_t n) {
        n = std::min(n, size_t(end_ - p_));
        std::string out(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return out;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

#endif
