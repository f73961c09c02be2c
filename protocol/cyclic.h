#ifndef KORVAND_PROTOCOL_CYCLIC_H
#define KORVAND_PROTOCOL_CYCLIC_H

// A sequence number modulo Mask + 1 (Mask is all ones: 127 for the link
// protocols' modulo-128 numbers), with the arithmetic and the window test
// that an acknowledged-mode data link needs.
template <class T, T Mask>
class Cyclic {
public:
    // The first half of a chained comparison a <= b <= c.
    class LessEqPair {
    public:
        LessEqPair(Cyclic a, Cyclic b) : a(a), b(b) {}
        // True when b lies in the cyclic window from a to c, both ends included.
        bool operator<=(Cyclic c) const { return T((c.v - a.v) & Mask) >= T((b.v - a.v) & Mask); }

    private:
        Cyclic a;
        Cyclic b;
    };

    Cyclic() = default;
    Cyclic(T n) : v(n & Mask) {}  // NOLINT: numbers convert freely

    operator T() const { return v; }
    Cyclic& operator++() {
        v = (v + 1) & Mask;
        return *this;
    }
    Cyclic operator++(int) {
        Cyclic old = *this;
        ++*this;
        return old;
    }
    Cyclic& operator--() {
        v = (v - 1) & Mask;
        return *this;
    }
    Cyclic operator+(const Cyclic& o) const { return Cyclic(T(v + o.v)); }
    Cyclic operator-(const Cyclic& o) const { return Cyclic(T(v - o.v)); }
    // A plain number is taken modulo Mask + 1 too (without these, `n + 1`
    // would be ambiguous between this and the built-in addition).
    Cyclic operator+(T n) const { return Cyclic(T(v + n)); }
    Cyclic operator-(T n) const { return Cyclic(T(v - n)); }
    LessEqPair operator<=(Cyclic b) const { return LessEqPair(*this, b); }

private:
    T v = 0;
};

#endif
