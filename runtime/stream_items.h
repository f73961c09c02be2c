#ifndef KORVAND_RUNTIME_STREAM_ITEMS_H
#define KORVAND_RUNTIME_STREAM_ITEMS_H

#include <ostream>

// Stream items for diagnostic lines. Each holds a reference to its object,
// so it is meant to be written in the expression that makes it:
//   std::clog << ext::header(link) << "state " << ext::quoted(name) << std::endl;
namespace ext {

// The object's own line prefix, through its PutHeader(std::ostream&).
template <class T>
struct Header {
    const T& object;
};

template <class T>
Header<T> header(const T& object) {
    return Header<T>{object};
}

template <class T>
std::ostream& operator<<(std::ostream& os, const Header<T>& h) {
    h.object.PutHeader(os);
    return os;
}

// The value between double quotes.
template <class T>
struct Quoted {
    const T& value;
};

template <class T>
Quoted<T> quoted(const T& value) {
    return Quoted<T>{value};
}

template <class T>
std::ostream& operator<<(std::ostream& os, const Quoted<T>& q) {
    return os << '"' << q.value << '"';
}

}  // namespace ext

#endif
