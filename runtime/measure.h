#ifndef KORVAND_RUNTIME_MEASURE_H
#define KORVAND_RUNTIME_MEASURE_H

#include <cstdint>
#include <ostream>

// Duration statistics in microseconds. Besides the last sample the record
// keeps a running sum, so the third printed value is a true average.
class Measure {
public:
    uint32_t min = 0;
    uint32_t max = 0;
    uint32_t last = 0;
    bool first = true;
    uint32_t start = 0;
    uint32_t counter = 0;
    uint64_t sum = 0;

    void begin();
    uint32_t end();
    void sample(uint32_t d);
    uint32_t average() const { return counter ? static_cast<uint32_t>(sum / counter) : 0; }
    void put(std::ostream& os) const;
};

inline std::ostream& operator<<(std::ostream& os, const Measure& m) {
    m.put(os);
    return os;
}

namespace Profile {

// A named duration record on the global list of profiling points, newest
// first. Points are function-local statics created on first use.
class Point : public Measure {
public:
    explicit Point(const char* name);
    ~Point();
    Point(const Point&) = delete;
    Point& operator=(const Point&) = delete;

    void put(std::ostream& os) const;

    Point* next = nullptr;
    const char* name;
};

extern Point* mRoot;

void dump(std::ostream& os);

}  // namespace Profile

#endif
