#ifndef KORVAND_ASN1_OBJECT_IDENTIFIER_H
#define KORVAND_ASN1_OBJECT_IDENTIFIER_H

#include <cstddef>
#include <initializer_list>
#include <vector>

#include "asn1/value_kind.h"

namespace ASN1 {

class OBJECT_IDENTIFIER : public detail::ValueKind<OBJECT_IDENTIFIER, AbstractData> {
public:
    typedef TypeInfo InfoType;
    static const InfoType theInfo;

    explicit OBJECT_IDENTIFIER(const InfoType* info = &theInfo) : ValueKind(info) {}
    OBJECT_IDENTIFIER(std::initializer_list<unsigned> arcs, const InfoType* info = &theInfo)
        : ValueKind(info), arcs_(arcs) {}
    static AbstractData* create(const void* info) {
        return detail::create<OBJECT_IDENTIFIER>(info);
    }

    unsigned levels() const { return static_cast<unsigned>(arcs_.size()); }
    unsigned operator[](unsigned i) const { return arcs_[i]; }
    void append(unsigned arc) { arcs_.push_back(arc); }
    void clear() { arcs_.clear(); }
    const std::vector<unsigned>& arcs() const { return arcs_; }

    // Fills `bytes` (passed empty) with the content octets of the standard
    // encoding; nothing for fewer than two arcs.
    void encodeCommon(std::vector<char>& bytes) const;
    // Replaces the arcs by those of the content octets. Fails on truncated
    // content and on an arc beyond 32 bits; the arcs read so far stay.
    bool decodeCommon(const char* octets, size_t length);

private:
    int do_compare(const AbstractData& other) const override;

    std::vector<unsigned> arcs_;
};

}  // namespace ASN1

#endif
