#include "asn1/sequence_of.h"

#include <algorithm>

namespace ASN1 {

SEQUENCE_OF_Base::SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other) : ValueKind(other) {
    container.reserve(other.container.size());
    for (const auto& element : other.container) container.emplace_back(element->clone());
}

SEQUENCE_OF_Base& SEQUENCE_OF_Base::operator=(const SEQUENCE_OF_Base& other) {
    if (this != &other) {
        SEQUENCE_OF_Base copy(other);
        swap(copy);
    }
    return *this;
}

void SEQUENCE_OF_Base::resize(size_t n) {
    if (n <= container.size()) {
        container.resize(n);
        return;
    }
    container.reserve(n);
    while (container.size() < n) container.emplace_back(createElement());
}

SEQUENCE_OF_Base::iterator SEQUENCE_OF_Base::insert(iterator position, size_t count,
                                                    const AbstractData& value) {
    Container copies;
    copies.reserve(count);
    for (size_t i = 0; i < count; ++i) copies.emplace_back(value.clone());
    return insertOwned(position, copies);
}

SEQUENCE_OF_Base::iterator SEQUENCE_OF_Base::insert(iterator position, const_iterator first,
                                                    const_iterator last) {
    // Copy first: the range may lie in this sequence.
    Container copies;
    for (; first != last; ++first) copies.emplace_back(first->clone());
    return insertOwned(position, copies);
}

SEQUENCE_OF_Base::iterator SEQUENCE_OF_Base::insertOwned(iterator position, Container& elements) {
    return iterator(container.insert(position.base(), std::make_move_iterator(elements.begin()),
                                     std::make_move_iterator(elements.end())));
}

SEQUENCE_OF_Base::iterator SEQUENCE_OF_Base::erase(iterator first, iterator last) {
    return iterator(container.erase(first.base(), last.base()));
}

int SEQUENCE_OF_Base::do_compare(const AbstractData& other) const {
    const SEQUENCE_OF_Base& that = *boost::polymorphic_downcast<const SEQUENCE_OF_Base*>(&other);
    size_t n = std::min(size(), that.size());
    for (size_t i = 0; i < n; ++i) {
        int result = container[i]->compare(*that.container[i]);
        if (result != 0) return result;
    }
    return detail::compareValues(size(), that.size());
}

}  // namespace ASN1
