#include "tools/lgcpc/lgcpc.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iostream>
#include <iterator>

#include "asn1/coder_env.h"
#include "asn1/gen/modules.h"
#include "asn1/per_decoder.h"
#include "asn1/validity.h"
#include "tools/lgcpc/input_values.h"
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

namespace {

// The tracer's text is the path of names (".pdu.command.connect") and then
// its message, which begins with a blank.
std::string violation(const std::string& trace) {
    size_t blank = trace.find(' ');
    std::string path = trace.substr(0, blank);
    std::string message = blank == std::string::npos ? std::string() : trace.substr(blank + 1);
    if (!path.empty() && path[0] == '.') path.erase(0, 1);
    return (path.empty() ? "the value" : path) + ": " + message;
}

}  // namespace

bool encodeValue(const ASN1::AbstractData& value, std::vector<char>& octets, std::string& error) {
    ASN1::InvalidTracer tracer;
    if (!value.accept(tracer)) {
        error = violation(tracer.str());
        return false;
    }
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    if (ASN1::encode(value, &env, std::back_inserter(octets))) return true;
    error = "the value does not encode in aligned PER";
    return false;
}

bool encodeText(const std::string& typeName, const std::string& text,
                std::vector<char>& octets, std::string& error) {
    std::unique_ptr<ASN1::AbstractData> type = newValue(typeName, error);
    if (!type) return false;
    InputValues values(type->info());
    values.feed(text.data(), text.size());
    values.finish();
    InputValues::Item item, more;
    if (!values.next(item)) {
        error = "the input holds no " + typeName + " value";
        return false;
    }
    if (!item.value) {
        error = item.error;
        return false;
    }
    if (values.next(more)) {
        error = more.where + ": expected the end of the input after the " + typeName + " value";
        return false;
    }
    if (encodeValue(*item.value, octets, error)) return true;
    error = item.where + ": " + error;
    return false;
}

namespace {

// "octet 4, bit 3": a position in the input after `bits` bits, both counted
// from 1 and the bits of an octet from its most significant.
std::string positionAfter(uint64_t bits) {
    return "octet " + std::to_string(bits / 8 + 1) + ", bit " + std::to_string(bits % 8 + 1);
}

}  // namespace

bool decodeOctets(const std::vector<char>& octets, ASN1::AbstractData& value,
                  std::string& error) {
    ASN1::PERDecoder decoder(octets.data(), octets.data() + octets.size(), nullptr);
    ASN1::PERFailure failure;
    decoder.keepFailure(&failure);
    if (!value.accept(decoder)) {
        uint64_t bits = failure.placed ? failure.bitsRead : decoder.getBitsRead();
        std::string what = failure.path.empty() ? "the value" : failure.path;
        error = "at " + positionAfter(bits) + ": " +
                (failure.inputEnded ? "the input ends inside " + what
                                    : what + " does not decode");
        return false;
    }
    // A value is whole octets, at least one even when it needs no bit.
    uint64_t used = std::max<uint64_t>(1, (decoder.getBitsRead() + 7) / 8);
    if (used >= octets.size()) return true;
    uint64_t more = octets.size() - used;
    error = "at " + positionAfter(used * 8) + ": the value has ended, " + std::to_string(more) +
            (more == 1 ? " more octet follows" : " more octets follow");
    return false;
}

const char* const usageText =
    "usage: lgcpc send [--host H] [--port N] [--wait MS]\n"
    "       lgcpc encode MODULE.Type\n"
    "       lgcpc decode MODULE.Type\n"
    "       lgcpc --help | -h\n"
    "\n"
    "The controller client of korvand.\n"
    "\n"
    "send    Connects to a running daemon's control port, sends each LGCP.Message\n"
    "        that the standard input gives in value notation as soon as the value\n"
    "        is complete, and prints every message the daemon sends back in value\n"
    "        notation, with a blank line between two. It stays connected until the\n"
    "        input ends and every request that carries a sequence number (seq) has\n"
    "        its final answer, then closes the connection. Number requests from 1:\n"
    "        a destroy that completes at once is also answered with seq 0.\n"
    "        --host H    the daemon's host name or address (127.0.0.1)\n"
    "        --port N    its control port, 1 to 65535 (20001)\n"
    "        --wait MS   how long to wait, once the input has ended, for the\n"
    "                    answers still missing, in milliseconds (5000)\n"
    "        Exit status 0 when every request was answered and every value was\n"
    "        good; 1 when the connection failed or was lost or the wait ran out\n"
    "        (the unanswered sequence numbers are named), or a value was bad.\n"
    "encode  Reads one value of MODULE.Type (LGCP.Message, MON.Message, ...) in\n"
    "        value notation and prints its aligned PER encoding in hexadecimal.\n"
    "decode  Reads hexadecimal octets and prints the MODULE.Type value they encode.\n"
    "        The octets must hold that one value and nothing after it: a failure\n"
    "        names the octet and bit where the decode stopped, counted from 1, and\n"
    "        the component that did not decode or in which the input ended.\n"
    "\n"
    "An option takes its value as the next argument or after \"=\" (--port=20001).\n"
    "A value that does not read is reported with its line and column and what\n"
    "was expected there; a value that breaks a constraint of its type, with the\n"
    "component and the constraint.\n";

namespace {

// The whole input; false when it cannot be read.
bool readAll(int input, std::string& text) {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(input, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0 && errno != EINTR) return false;
        if (n > 0) text.append(buffer, static_cast<size_t>(n));
    }
}

bool encodeCommand(const std::string& type, const std::string& input, std::ostream& out,
                   std::string& error) {
    std::vector<char> octets;
    if (!encodeText(type, input, octets, error)) return false;
    out << toHex(octets) << '\n';
    return true;
}

bool decodeCommand(const std::string& type, const std::string& input, std::ostream& out,
                   std::string& error) {
    std::unique_ptr<ASN1::AbstractData> value = newValue(type, error);
    if (!value) return false;
    std::vector<char> octets;
    if (!fromHex(input, octets)) {
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

// The verbs that take a TYPE and the whole input.
struct TypeCommand {
    const char* name;
    bool (*execute)(const std::string& type, const std::string& input, std::ostream& out,
                    std::string& error);
};

const TypeCommand typeCommands[] = {{"encode", encodeCommand}, {"decode", decodeCommand}};

bool asksForHelp(const std::vector<std::string>& args) {
    return std::find_if(args.begin(), args.end(), [](const std::string& a) {
               return a == "-h" || a == "--help";
           }) != args.end();
}

// Runs a verb that takes a TYPE; false with `error` set.
bool runTypeCommand(const TypeCommand& command, const std::vector<std::string>& args, int input,
                    std::ostream& out, std::string& error) {
    if (args.size() != 2) {
        error = std::string(command.name) + " takes one type, MODULE.Type (see lgcpc --help)";
        return false;
    }
    std::string text;
    if (!readAll(input, text)) {
        error = std::string("cannot read the input: ") + std::strerror(errno);
        return false;
    }
    if (!command.execute(args[1], text, out, error)) return false;
    if (out.flush()) return true;
    error = "cannot write the output";
    return false;
}

}  // namespace

int run(const std::vector<std::string>& args, int input, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << usageText << std::flush;
        return 1;
    }
    if (asksForHelp(args)) return out << usageText << std::flush ? 0 : 1;
    if (args[0] == "send") return send(args, input, out, err);
    std::string error = "unknown verb \"" + args[0] + "\" (see lgcpc --help)";
    for (const TypeCommand& command : typeCommands) {
        if (args[0] != command.name) continue;
        if (runTypeCommand(command, args, input, out, error)) return 0;
        break;
    }
    err << "lgcpc: " << error << std::endl;
    return 1;
}

}  // namespace Lgcpc
