#ifndef KORVAND_ASN1_SEQUENCE_H
#define KORVAND_ASN1_SEQUENCE_H

#include <boost/polymorphic_cast.hpp>
#include <memory>
#include <utility>
#include <vector>

#include "asn1/basic_values.h"
#include "asn1/value_kind.h"

namespace ASN1 {

// A SEQUENCE value: one owned component per component of its record (root
// components first, then the known extension additions), a presence bit per
// OPTIONAL root component and a presence bit per extension addition.
//
// Presence ids: the OPTIONAL root components have ids 0 .. k-1 in record
// order; the j-th known extension addition has id k + j.
class SEQUENCE : public detail::ValueKind<SEQUENCE, AbstractData> {
public:
    typedef SequenceInfo InfoType;

    // The components: a number fixed at construction of owned values, each
    // null while it has not been created, in one small block. The
    // constructors of SEQUENCE fill the slots in order, counting them as
    // they go, so that an exception deletes exactly what was made.
    class FieldVector {
    public:
        FieldVector() = default;
        explicit FieldVector(unsigned capacity)
            : items(capacity == 0 ? nullptr
                                  : static_cast<AbstractData**>(
                                        detail::allocateBlock(capacity * sizeof(AbstractData*)))),
              capacity(capacity) {}
        FieldVector(const FieldVector&) = delete;
        FieldVector& operator=(const FieldVector&) = delete;
        ~FieldVector() {
            for (unsigned i = 0; i < count; ++i) detail::deleteValue(items[i]);
            detail::releaseBlock(items, capacity * sizeof(AbstractData*));
        }

        unsigned size() const { return count; }
        AbstractData* operator[](unsigned i) const { return items[i]; }
        // Filling: the slots, and how many of them hold a value or null.
        AbstractData** slots() { return items; }
        void filled(unsigned n) { count = n; }
        // Replaces component i (ownership passes) and deletes the one held.
        void reset(unsigned i, AbstractData* value) {
            AbstractData* old = items[i];
            items[i] = value;
            delete old;
        }
        void swap(FieldVector& other) noexcept {
            std::swap(items, other.items);
            std::swap(count, other.count);
            std::swap(capacity, other.capacity);
        }

    private:
        AbstractData** items = nullptr;
        unsigned count = 0;
        unsigned capacity = 0;
    };

    // A tag table that gives every component its own type's tag (BER).
    static const unsigned defaultTag[1];

    // Bits from the most significant bit of the first byte. Reading beyond
    // the count gives 0; writing beyond it does nothing.
    class BitMap {
    public:
        // The bytes come from the small-block pool, like the values.
        typedef std::vector<unsigned char, detail::PoolAllocator<unsigned char>> Bytes;

        unsigned size() const { return totalBits; }
        bool operator[](unsigned i) const {
            return i < totalBits && (bitData[i / 8] & (0x80u >> (i % 8)));
        }
        void set(unsigned i);
        void clear(unsigned i);
        // Keeps the first bits; bits beyond the new count are cleared.
        void resize(unsigned n);
        bool any() const {
            for (unsigned char byte : bitData) {
                if (byte != 0) return true;
            }
            return false;
        }
        const Bytes& bytes() const { return bitData; }
        Bytes& bytes() { return bitData; }

    private:
        unsigned totalBits = 0;
        Bytes bitData;
    };

    // Creates the mandatory root components; OPTIONAL ones stay absent and
    // uncreated.
    explicit SEQUENCE(const InfoType* info);
    SEQUENCE(const SEQUENCE& other);
    SEQUENCE& operator=(const SEQUENCE& other);
    static AbstractData* create(const void* info) { return detail::create<SEQUENCE>(info); }

    const InfoType* info() const { return static_cast<const InfoType*>(AbstractData::info()); }
    // Root plus known extension components.
    unsigned fieldCount() const { return fields.size(); }
    // The component at `index`; null while it has not been created.
    AbstractData* getField(unsigned index) {
        return index < fields.size() ? fields[index] : nullptr;
    }
    const AbstractData* getField(unsigned index) const {
        return index < fields.size() ? fields[index] : nullptr;
    }
    const char* getFieldName(unsigned index) const;
    // Replaces the component at `index` (ownership passes); false, and the
    // value deleted, for an index the record does not have.
    bool setField(unsigned index, AbstractData* value) {
        if (index >= fields.size()) {
            delete value;
            return false;
        }
        fields.reset(index, value);
        return true;
    }

    bool hasOptionalField(unsigned id) const {
        unsigned k = info()->numOptional;
        return id < k ? optionals[id] : extensions[id - k];
    }
    // Marks the component present and creates it when missing. Refuses (false,
    // nothing changed) an id beyond the known extensions, an index beyond the
    // components, or an id and index that do not name the same component.
    bool includeOptionalField(unsigned id, unsigned index);
    // Clears the presence bit; the component's value stays for a later include.
    void removeOptionalField(unsigned id);

    const BitMap& optionalMap() const { return optionals; }
    BitMap& optionalMap() { return optionals; }
    const BitMap& extensionMap() const { return extensions; }
    BitMap& extensionMap() { return extensions; }

    void swap(SEQUENCE& other);

protected:
    // Typed access for the generated classes. Reading a component that was
    // never created (an absent OPTIONAL one) creates its default value without
    // marking it present, so no accessor ever dereferences null.
    template <class T>
    const T& fieldAs(unsigned index) const {
        return *boost::polymorphic_downcast<const T*>(&componentAt(index));
    }
    template <class T>
    T& mutableFieldAs(unsigned index) {
        return *boost::polymorphic_downcast<T*>(&componentAt(index));
    }
    // Includes an OPTIONAL component or extension addition and returns it.
    template <class T>
    T& includedFieldAs(unsigned id, unsigned index) {
        if (!includeOptionalField(id, index)) detail::recordAssertion("a wrong presence id");
        return mutableFieldAs<T>(index);
    }

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData& componentAt(unsigned index) const;
    // The component that a presence id names, or -1.
    int indexOfId(unsigned id) const;

    mutable FieldVector fields;
    BitMap optionals;
    BitMap extensions;
};

}  // namespace ASN1

#endif
