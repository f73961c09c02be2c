#include "asn1/avn_encoder.h"

#include <boost/scoped_array.hpp>
#include <cstdlib>
#include <cstring>

#include "asn1/asn1.h"

namespace ASN1 {

void AVNEncoder::put(const char* text) { strm.write(text, std::strlen(text)); }

void AVNEncoder::putSpaces(int count) {
    for (int i = 0; i < count; ++i) strm.put(' ');
}

bool AVNEncoder::do_visit(const Null&) {
    put("NULL");
    return good();
}

bool AVNEncoder::do_visit(const BOOLEAN& value) {
    put(value.getValue() ? "TRUE" : "FALSE");
    return good();
}

bool AVNEncoder::do_visit(const INTEGER& value) {
    int v = value.getValue();
    put(value.isUnsigned() ? std::to_string(static_cast<unsigned>(v)) : std::to_string(v));
    return good();
}

bool AVNEncoder::do_visit(const IntegerWithNamedNumber& value) {
    std::string name;
    if (!value.getName(name)) return do_visit(static_cast<const INTEGER&>(value));
    put(name);
    return good();
}

bool AVNEncoder::do_visit(const ENUMERATED& value) {
    const char* name = value.getName();
    put(name != nullptr ? std::string(name) : std::to_string(value.getValue()));
    return good();
}

bool AVNEncoder::do_visit(const OBJECT_IDENTIFIER& value) {
    put("{ ");
    for (unsigned arc : value.arcs()) put(std::to_string(arc) + ' ');
    put("}");
    return good();
}

bool AVNEncoder::do_visit(const BIT_STRING& value) {
    std::string text = "'";
    for (unsigned i = 0; i < value.size(); ++i) text += value[i] ? '1' : '0';
    put(text + "'B");
    return good();
}

bool AVNEncoder::putOctets(const std::vector<char>& octets) {
    static const char digits[] = "0123456789abcdef";
    std::string text = "'";
    for (size_t i = 0; i < octets.size(); ++i) {
        unsigned char octet = static_cast<unsigned char>(octets[i]);
        if (i != 0) text += ' ';
        text += digits[octet >> 4];
        text += digits[octet & 0x0F];
    }
    put(text + "'H");
    strm.fill(' ');
    return good();
}

bool AVNEncoder::do_visit(const OCTET_STRING& value) { return putOctets(value); }

bool AVNEncoder::do_visit(const AbstractString& value) {
    strm.put('"');
    put(static_cast<const std::string&>(value));
    strm.put('"');
    return good();
}

bool AVNEncoder::do_visit(const BMPString& value) {
    // Text in the current multibyte locale when every character converts;
    // otherwise each character as a quadruple of group, plane, row and cell.
    size_t length = value.find(L'\0') == std::wstring::npos
                        ? std::wcstombs(nullptr, value.c_str(), 0)
                        : static_cast<size_t>(-1);
    if (length != static_cast<size_t>(-1)) {
        boost::scoped_array<char> text(new char[length + 1]);
        std::wcstombs(text.get(), value.c_str(), length + 1);
        strm.put('"');
        strm.write(text.get(), length);
        strm.put('"');
        return good();
    }
    put("{");
    for (size_t i = 0; i < value.size(); ++i) {
        unsigned c = static_cast<unsigned>(value[i]);
        if (i != 0) put(", ");
        put("{ 0, 0, " + std::to_string(c >> 8) + ", " + std::to_string(c & 0xFF) + "}");
    }
    put("}");
    return good();
}

bool AVNEncoder::do_visit(const CHOICE& value) {
    if (value.currentSelection() < 0 || value.getSelection() == nullptr) return false;
    put(value.getSelectionName());
    put(" : ");
    return good() && value.getSelection()->accept(*this);
}

bool AVNEncoder::do_visit(const OpenData& value) {
    if (value.has_data()) return value.get_data()->accept(*this);
    if (value.has_buf()) return putOctets(*value.buffer());
    return false;
}

bool AVNEncoder::do_visit(const GeneralizedTime& value) {
    put("\"" + value.get() + "\"");
    return good();
}

bool AVNEncoder::do_visit(const SEQUENCE_OF_Base& value) {
    int outer = indentation;
    put("{\n");
    indentation = outer + 2;
    bool first = true;
    for (const AbstractData& element : value) {
        if (!first) put(",\n");
        first = false;
        putSpaces(indentation);
        if (!good() || !element.accept(*this)) return false;
    }
    indentation = outer;
    if (!value.empty()) put("\n");
    putSpaces(outer);
    put("}");
    return good();
}

bool AVNEncoder::preVisitExtensionRoots(const SEQUENCE&) {
    outerFlags.push_back(false);
    put("{\n");
    return good();
}

bool AVNEncoder::putField(const SEQUENCE& value, int index) {
    const AbstractData* field = value.getField(static_cast<unsigned>(index));
    if (field == nullptr) return false;
    if (outerFlags.back()) put(",\n");
    putSpaces(indentation + 2);
    put(value.getFieldName(static_cast<unsigned>(index)));
    put(" ");
    indentation += 2;
    bool ok = good() && field->accept(*this);
    indentation -= 2;
    outerFlags.back() = true;
    return ok;
}

bool AVNEncoder::visitExtensionRoot(const SEQUENCE& value, int index) {
    return putField(value, index);
}

bool AVNEncoder::visitKnownExtension(const SEQUENCE& value, int index) {
    return putField(value, index);
}

bool AVNEncoder::afterVisitSequence(const SEQUENCE&) {
    if (outerFlags.back()) put("\n");
    outerFlags.pop_back();
    putSpaces(indentation);
    put("}");
    return good();
}

}  // namespace ASN1
