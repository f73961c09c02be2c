#ifndef KORVAND_RUNTIME_EXT_TABLE_H
#define KORVAND_RUNTIME_EXT_TABLE_H

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/measure.h"

namespace ext {

// A text table with fixed-width, centred columns.
class Table {
public:
    Table() = default;
    explicit Table(int w1) { add(w1); }
    Table(int w1, int w2) : Table(w1) { add(w2); }
    Table(int w1, int w2, int w3) : Table(w1, w2) { add(w3); }
    Table(int w1, int w2, int w3, int w4) : Table(w1, w2, w3) { add(w4); }
    Table(int w1, int w2, int w3, int w4, int w5) : Table(w1, w2, w3, w4) { add(w5); }
    Table(int w1, int w2, int w3, int w4, int w5, int w6) : Table(w1, w2, w3, w4, w5) { add(w6); }
    Table(int w1, int w2, int w3, int w4, int w5, int w6, int w7) : Table(w1, w2, w3, w4, w5, w6) {
        add(w7);
    }

    void add(int width) { widths.push_back(width); }
    void init() { resetrow(); }
    void resetrow() {
        column = 0;
        rowOpen = false;
    }
    void row(std::ostream& os, const std::string& text);
    void finalize(std::ostream& os);
    void delimeter(std::ostream& os);
    void gap(std::ostream& os);

    std::vector<int> widths;
    unsigned column = 0;
    bool rowOpen = false;
};

// Collects the text of one cell at a time.
class Sentry {
public:
    Sentry(std::ostream& os, Table& table) : os(os), table(table) {}
    std::ostream& os;
    Table& table;
    std::ostringstream cell;
};

void beginrow(Sentry& s);
void nextrow(Sentry& s);
void delimeter(Sentry& s);

template <class V>
Sentry& operator<<(Sentry& s, const V& v) {
    s.cell << v;
    return s;
}

}  // namespace ext

#endif
