#include "asn1/abstract_data.h"

#include <cstdlib>
#include <iostream>
#include <sstream>

#include "asn1/avn_decoder.h"
#include "asn1/avn_encoder.h"

namespace ASN1 {

std::ios_base::iostate AbstractData::print_on(std::ostream& os) const {
    AVNEncoder encoder(os);
    return accept(encoder) ? std::ios_base::goodbit : std::ios_base::failbit;
}

std::ios_base::iostate AbstractData::get_from(std::istream& is) {
    AVNDecoder decoder(is);
    return accept(decoder) ? std::ios_base::goodbit : std::ios_base::failbit;
}

std::string AbstractData::asValueNotation() const {
    std::ostringstream os;
    print_on(os);
    return os.str();
}

bool AbstractData::setFromValueNotation(const std::string& text) {
    std::istringstream is(text);
    AVNDecoder decoder(is);
    return accept(decoder) && decoder.atEnd();
}

namespace {

// Runs one formatted stream operation the way the standard inserters do: an
// exception sets the bad bit and is rethrown only when the stream asks for
// exceptions on it.
template <class Stream, class Run>
void guarded(Stream& stream, Run run) {
    std::ios_base::iostate state = std::ios_base::goodbit;
    try {
        state = run();
    } catch (...) {
        bool rethrow = (stream.exceptions() & std::ios_base::badbit) != 0;
        try {
            stream.setstate(std::ios_base::badbit);
        } catch (const std::ios_base::failure&) {
        }
        if (rethrow) throw;
    }
    if (state != std::ios_base::goodbit) stream.setstate(state);
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const AbstractData& value) {
    if (os.fail()) return os;
    std::ostream::sentry ok(os);
    if (ok) guarded(os, [&] { return value.print_on(os); });
    os.width(0);
    return os;
}

std::istream& operator>>(std::istream& is, AbstractData& value) {
    if (is.fail()) return is;
    std::istream::sentry ok(is);
    if (ok) guarded(is, [&] { return value.get_from(is); });
    return is;
}

namespace detail {

void recordAssertion(const char* what) {
    std::cerr << "ASN1 RECORD ASSERTION! " << what << std::endl;
    std::abort();
}

}  // namespace detail
}  // namespace ASN1
