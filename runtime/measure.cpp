#include "runtime/measure.h"

#include "runtime/mux_clock.h"

void Measure::begin() { start = Mux::microseconds(); }

uint32_t Measure::end() {
    uint32_t d = Mux::microseconds() - start;
    sample(d);
    return d;
}

void Measure::sample(uint32_t d) {
    if (first) {
        min = max = d;
        counter = 1;
        first = false;
    } else {
        ++counter;
        if (d < min) min = d;
        if (d > max) max = d;
    }
    last = d;
    sum += d;
}

void Measure::put(std::ostream& os) const {
    os << "min=" << min << " max=" << max << " avg=" << average() << " counter=" << counter;
}

namespace Profile {

Point* mRoot = nullptr;

Point::Point(const char* n) : next(mRoot), name(n) { mRoot = this; }

Point::~Point() {
    for (Point** p = &mRoot; *p; p = &(*p)->next) {
        if (*p == this) {
            *p = next;
            break;
        }
    }
}

void Point::put(std::ostream& os) const {
    os << "[" << name << "]: ";
    Measure::put(os);
}

void dump(std::ostream& os) {
    for (Point* p = mRoot; p; p = p->next) {
        p->put(os);
        os << "\n";
    }
}

}  // namespace Profile
