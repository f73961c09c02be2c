#include "asn1/open_data.h"

#include <boost/polymorphic_cast.hpp>

namespace ASN1 {

const OpenData::InfoType OpenData::theInfo = {&detail::create<OpenData>, 0};

OpenData::OpenData(const OpenData& other)
    : ValueKind(other),
      data(other.data ? other.data->clone() : nullptr),
      buf(other.buf ? new std::vector<char>(*other.buf) : nullptr) {}

OpenData& OpenData::operator=(const OpenData& other) {
    if (this != &other) {
        OpenData copy(other);
        swap(copy);
    }
    return *this;
}

std::vector<char>& OpenData::get_buf() {
    if (!buf) buf.reset(new std::vector<char>);
    return *buf;
}

void OpenData::swap(OpenData& other) {
    data.swap(other.data);
    buf.swap(other.buf);
}

int OpenData::do_compare(const AbstractData& other) const {
    const OpenData& that = *boost::polymorphic_downcast<const OpenData*>(&other);
    if (data && that.data) {
        // Values of different types only order by their records.
        if (data->info() != that.data->info()) {
            return detail::compareValues(data->info(), that.data->info());
        }
        return data->compare(*that.data);
    }
    if (buf && that.buf) {
        return lexicographic_compare_bytes(buf->data(), buf->data() + buf->size(),
                                           that.buf->data(), that.buf->data() + that.buf->size());
    }
    if (!data && !that.data && !buf && !that.buf) return 0;
    return data ? 1 : -1;
}

TypeConstrainedOpenData::TypeConstrainedOpenData(const InfoType* info) : ValueKind(info) {
    if (info->typeInfo != nullptr) grab(AbstractData::create(info->typeInfo));
}

}  // namespace ASN1
