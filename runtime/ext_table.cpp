#include "runtime/ext_table.h"

namespace ext {

void Table::row(std::ostream& os, const std::string& text) {
    if (column >= widths.size()) return;
    rowOpen = true;
    int width = widths[column];
    std::string cell = text.substr(0, static_cast<size_t>(width < 0 ? 0 : width));
    int pad = width - static_cast<int>(cell.size());
    os << "|" << std::string(static_cast<size_t>(pad / 2), ' ') << cell
       << std::string(static_cast<size_t>((pad + 1) / 2), ' ');
    if (++column == widths.size()) {
        os << "|\n";
        rowOpen = false;
    }
}

void Table::finalize(std::ostream& os) {
    while (rowOpen) row(os, " ");
}

void Table::delimeter(std::ostream& os) {
    finalize(os);
    if (widths.empty()) return;
    for (int w : widths) os << "+" << std::string(static_cast<size_t>(w), '-');
    os << "+\n";
}

void Table::gap(std::ostream& os) {
    finalize(os);
    if (widths.empty()) return;
    for (int w : widths) os << "|" << std::string(static_cast<size_t>(w), ' ');
    os << "|\n";
}

void beginrow(Sentry& s) { s.table.resetrow(); }

void nextrow(Sentry& s) {
    s.table.row(s.os, s.cell.str());
    s.cell.str(std::string());
    s.cell.clear();
}

void delimeter(Sentry& s) { s.table.delimeter(s.os); }

}  // namespace ext
