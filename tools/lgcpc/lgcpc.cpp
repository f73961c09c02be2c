#include "tools/lgcpc/lgcpc.h"

#include <cctype>
#include <iostream>
#include <iterator>
#include <sstream>

#include "asn1/coder_env.h"
#include "asn1/gen/modules.h"
#include "tools/lgcpc/send.h"

namespace Lgcpc {

std::string toHex(const std::vector<char>& octets) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(octets.size() * 2);
    for (char c : octets) {
        unsigned char octet = static_cast<unsigned char>(c);
        text += digits[octet >> 4];
        text += digits[octet & 0x0F];
    }
    return text;
}

bool fromHex(const std::string& text, std::vector<char>& octets) {
    octets.clear();
    int high = -1;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (std::isspace(u) && high < 0) continue;
        if (!std::isxdigit(u)) return false;
        int digit = std::isdigit(u) ? u - '0' : std::tolower(u) - 'a' + 10;
        if (high < 0) {
            high = digit;
        } else {
            octets.push_back(static_cast<char>(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0;
}

std::unique_ptr<ASN1::AbstractData> newValue(const std::string& typeName, std::string& error) {
    std::unique_ptr<ASN1::AbstractData> value(ASN1::AbstractData::create(ASN1::findType(typeName)));
    if (!value) error = "unknown type " + typeName;
    return value;
}

bool encodeText(const std::string& typeName, const std::string& text,
                std::vector<char>& octets, std::string& error) {
    std::unique_ptr<ASN1::AbstractData> value = newValue(typeName, error);
    if (!value) return false;
    if (!value->setFromValueNotation(text)) {
        error = typeName + ": not a value in value notation";
        return false;
    }
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (!ASN1::encode(*value, &env, std::back_inserter(octets))) {
        error = typeName + ": encode error";
        return false;
    }
    return true;
}

bool decodeOctets(const std::vector<char>& octets, ASN1::AbstractData& value,
                  std::string& error) {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (ASN1::decode(octets.data(), octets.data() + octets.size(), &env, value, true)) return true;
    error = "decode error";
    return false;
}

namespace {

std::string readAll(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool encodeCommand(const std::string& type, std::istream& in, std::ostream& out,
                   std::string& error) {
    std::vector<char> octets;
    if (!encodeText(type, readAll(in), octets, error)) return false;
    out << toHex(octets) << '\n';
    return true;
}

bool decodeCommand(const std::string& type, std::istream& in, std::ostream& out,
                   std::string& error) {
    std::unique_ptr<ASN1::AbstractData> value = newValue(type, error);
    if (!value) return false;
    std::vector<char> octets;
    if (!fromHex(readAll(in), octets)) {
        error = "the input is not hexadecimal octets";
        return false;
    }
    if (!decodeOctets(octets, *value, error)) {
        error = type + ": " + error;
        return false;
    }
    out << *value << '\n';
    return true;
}

// The commands that take a TYPE and the input stream.
struct TypeCommand {
    const char* name;
    bool (*execute)(const std::string& type, std::istream& in, std::ostream& out,
                    std::string& error);
};

const TypeCommand typeCommands[] = {{"encode", encodeCommand}, {"decode", decodeCommand}};

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
    if (!args.empty() && args[0] == "send") return send(args, in, out, err);
    std::string error = "usage: lgcpc encode|decode MODULE.Type";
    if (args.size() == 2) {
        for (const TypeCommand& command : typeCommands) {
            if (args[0] != command.name) continue;
            if (command.execute(args[1], in, out, error)) {
                if (out.flush()) return 0;
                error = "cannot write the output";
            }
            break;
        }
    }
    err << "lgcpc: " << error << std::endl;
    return 1;
}

}  // namespace Lgcpc
