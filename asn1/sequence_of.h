#ifndef KORVAND_ASN1_SEQUENCE_OF_H
#define KORVAND_ASN1_SEQUENCE_OF_H

#include <boost/polymorphic_cast.hpp>
#include <cstddef>
#include <iterator>
#include <memory>
#include <vector>

#include "asn1/value_kind.h"

namespace ASN1 {

namespace detail {

// An iterator over owned elements that yields them as T.
template <class T, class It>
class ElementIterator {
public:
    typedef std::bidirectional_iterator_tag iterator_category;
    typedef T value_type;
    typedef std::ptrdiff_t difference_type;
    typedef T* pointer;
    typedef T& reference;

    ElementIterator() = default;
    explicit ElementIterator(It it) : it_(it) {}

    T& operator*() const { return *boost::polymorphic_downcast<T*>(it_->get()); }
    T* operator->() const { return &**this; }
    ElementIterator& operator++() {
        ++it_;
        return *this;
    }
    ElementIterator operator++(int) { return ElementIterator(it_++); }
    ElementIterator& operator--() {
        --it_;
        return *this;
    }
    ElementIterator operator--(int) { return ElementIterator(it_--); }
    bool operator==(const ElementIterator& other) const { return it_ == other.it_; }
    bool operator!=(const ElementIterator& other) const { return it_ != other.it_; }
    It base() const { return it_; }

private:
    It it_;
};

}  // namespace detail

// SEQUENCE OF and SET OF values: owned elements created through the element
// record of the type's record.
class SEQUENCE_OF_Base : public detail::ValueKind<SEQUENCE_OF_Base, ConstrainedObject> {
public:
    typedef SequenceOfInfo InfoType;
    typedef std::vector<std::unique_ptr<AbstractData>,
                        detail::PoolAllocator<std::unique_ptr<AbstractData>>>
        Container;
    typedef detail::ElementIterator<AbstractData, Container::iterator> iterator;
    typedef detail::ElementIterator<const AbstractData, Container::const_iterator> const_iterator;

    explicit SEQUENCE_OF_Base(const InfoType* info) : ValueKind(info) {}
    SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other);
    SEQUENCE_OF_Base& operator=(const SEQUENCE_OF_Base& other);
    static AbstractData* create(const void* info) { return detail::create<SEQUENCE_OF_Base>(info); }

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
    size_t size() const { return container.size(); }
    bool empty() const { return container.empty(); }
    iterator begin() { return iterator(container.begin()); }
    iterator end() { return iterator(container.end()); }
    const_iterator begin() const { return const_iterator(container.begin()); }
    const_iterator end() const { return const_iterator(container.end()); }
    AbstractData& at(size_t i) { return *container.at(i); }
    const AbstractData& at(size_t i) const { return *container.at(i); }

    // A new default element, owned by the caller.
    AbstractData* createElement() const {
        AbstractData* element = AbstractData::create(info()->elementInfo);
        if (element == nullptr) detail::recordAssertion("a sequence-of without element record");
        return element;
    }
    // Appends an element; ownership passes.
    void push_back(AbstractData* element) { container.emplace_back(element); }
    void clear() { container.clear(); }
    void reserve(size_t n) { container.reserve(n); }
    // Growing appends default elements, shrinking deletes the tail.
    void resize(size_t n);
    // Inserts `count` copies of `value` before `position`.
    iterator insert(iterator position, size_t count, const AbstractData& value);
    // Inserts copies of [first, last), which may lie in this sequence.
    iterator insert(iterator position, const_iterator first, const_iterator last);
    iterator erase(iterator first, iterator last);
    void swap(SEQUENCE_OF_Base& other) { container.swap(other.container); }
    // Count within the size bounds and every element valid.
    bool isValid() const;
    bool isStrictlyValid() const;

private:
    int do_compare(const AbstractData& other) const override;
    iterator insertOwned(iterator position, Container& elements);

    Container container;
};

// The typed view of a SEQUENCE OF or SET OF with element type T; it adds
// no data, only its record and typed access.
template <class T, class Constraint, unsigned Tag>
class TypedSequenceOf : public SEQUENCE_OF_Base {
public:
    typedef T value_type;
    typedef detail::ElementIterator<T, Container::iterator> iterator;
    typedef detail::ElementIterator<const T, Container::const_iterator> const_iterator;
    static const InfoType theInfo;

    explicit TypedSequenceOf(const InfoType* info = &theInfo) : SEQUENCE_OF_Base(info) {}
    static AbstractData* create(const void* info) { return detail::create<TypedSequenceOf>(info); }

    T& operator[](size_t i) { return static_cast<T&>(at(i)); }
    const T& operator[](size_t i) const { return static_cast<const T&>(at(i)); }
    iterator begin() { return iterator(SEQUENCE_OF_Base::begin().base()); }
    iterator end() { return iterator(SEQUENCE_OF_Base::end().base()); }
    const_iterator begin() const { return const_iterator(SEQUENCE_OF_Base::begin().base()); }
    const_iterator end() const { return const_iterator(SEQUENCE_OF_Base::end().base()); }

    // Appends a copy of `value`.
    void push_back(const T& value) {
        SEQUENCE_OF_Base::insert(SEQUENCE_OF_Base::end(), 1, value);
    }
    iterator insert(iterator position, size_t count, const T& value) {
        return iterator(
            SEQUENCE_OF_Base::insert(base(position), count, value).base());
    }
    iterator erase(iterator first, iterator last) {
        return iterator(SEQUENCE_OF_Base::erase(base(first), base(last)).base());
    }

private:
    static SEQUENCE_OF_Base::iterator base(iterator it) {
        return SEQUENCE_OF_Base::iterator(it.base());
    }
};

template <class T, class Constraint, unsigned Tag>
const SequenceOfInfo TypedSequenceOf<T, Constraint, Tag>::theInfo = {
    {{&detail::create<TypedSequenceOf<T, Constraint, Tag>>, Tag},
     Constraint::type,
     Constraint::lower,
     Constraint::upper},
    &T::theInfo};

template <class T, class Constraint = EmptyConstraint>
using SEQUENCE_OF = TypedSequenceOf<T, Constraint, 16>;
template <class T, class Constraint = EmptyConstraint>
using SET_OF = TypedSequenceOf<T, Constraint, 17>;

}  // namespace ASN1

#endif
