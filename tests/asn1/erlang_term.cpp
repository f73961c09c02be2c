#include "tests/asn1/erlang_term.h"

#include <algorithm>

namespace ASN1Test {

std::string ErlangTermWriter::atom(const char* name) {
    std::string text = name;
    std::replace(text.begin(), text.end(), '_', '-');
    return "'" + text + "'";
}

template <class It, class Put>
void ErlangTermWriter::list(It first, It last, Put put) {
    for (It it = first; it != last; ++it) {
        if (it != first) os << ',';
        put(*it);
    }
}

bool ErlangTermWriter::do_visit(const ASN1::AbstractData&) { return false; }

bool ErlangTermWriter::do_visit(const ASN1::Null&) {
    os << "'NULL'";
    return true;
}

bool ErlangTermWriter::do_visit(const ASN1::BOOLEAN& value) {
    os << (value.getValue() ? "true" : "false");
    return true;
}

bool ErlangTermWriter::do_visit(const ASN1::INTEGER& value) {
    if (value.isUnsigned()) {
        os << static_cast<unsigned>(value.getValue());
    } else {
        os << value.getValue();
    }
    return true;
}

bool ErlangTermWriter::do_visit(const ASN1::ENUMERATED& value) {
    os << value.getValue();
    return true;
}

bool ErlangTermWriter::do_visit(const ASN1::OBJECT_IDENTIFIER& value) {
    os << '{';
    list(value.arcs().begin(), value.arcs().end(), [this](unsigned arc) { os << arc; });
    os << '}';
    return true;
}

bool ErlangTermWriter::do_visit(const ASN1::OCTET_STRING& value) {
    os << "<<";
    list(value.begin(), value.end(), [this](char c) { os << unsigned(static_cast<unsigned char>(c)); });
    os << ">>";
    return true;
}

bool ErlangTermWriter::do_visit(const ASN1::AbstractString& value) {
    os << '[';
    list(value.begin(), value.end(), [this](char c) { os << unsigned(static_cast<unsigned char>(c)); });
    os << ']';
    return true;
}

bool ErlangTermWriter::do_visit(const ASN1::CHOICE& value) {
    if (value.getSelection() == nullptr) return false;
    os << '{' << atom(value.getSelectionName()) << ',';
    bool ok = value.getSelection()->accept(*this);
    os << '}';
    return ok;
}

bool ErlangTermWriter::do_visit(const ASN1::SEQUENCE_OF_Base& value) {
    bool ok = true;
    os << '[';
    list(value.begin(), value.end(), [&](const ASN1::AbstractData& e) { ok = ok && e.accept(*this); });
    os << ']';
    return ok;
}

bool ErlangTermWriter::preVisitExtensionRoots(const ASN1::SEQUENCE&) {
    os << "#{";
    entries.push_back(false);
    return true;
}

bool ErlangTermWriter::visitExtensionRoot(const ASN1::SEQUENCE& value, int index) {
    const ASN1::AbstractData* field = value.getField(static_cast<unsigned>(index));
    if (field == nullptr) return false;
    if (entries.back()) os << ',';
    entries.back() = true;
    os << atom(value.getFieldName(static_cast<unsigned>(index))) << "=>";
    return field->accept(*this);
}

bool ErlangTermWriter::visitKnownExtension(const ASN1::SEQUENCE& value, int index) {
    return visitExtensionRoot(value, index);
}

bool ErlangTermWriter::afterVisitSequence(const ASN1::SEQUENCE&) {
    os << '}';
    entries.pop_back();
    return true;
}

}  // namespace ASN1Test
