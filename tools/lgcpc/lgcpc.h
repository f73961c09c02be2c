#ifndef KORVAND_TOOLS_LGCPC_LGCPC_H
#define KORVAND_TOOLS_LGCPC_LGCPC_H

// The controller client's verbs as a library:
//   lgcpc send [--host H] [--port N] [--wait MS]   a session with a daemon (send.h)
//   lgcpc encode TYPE   value notation on the input -> aligned PER in hex
//   lgcpc decode TYPE   hex on the input -> value notation
//   lgcpc --help | -h   every verb and option (usageText)
// TYPE is "MODULE.Type" ("LGCP.Message", "MON.Message"). A failure writes
// one line on the error stream and gives the exit status 1; a call without
// arguments writes the usage text there.

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "asn1/abstract_data.h"

namespace Lgcpc {

// The octets as lower-case hex digits without separators.
std::string toHex(const std::vector<char>& octets);
// Hex digits, upper or lower case, white space allowed between octets;
// false for any other character or an odd number of digits.
bool fromHex(const std::string& text, std::vector<char>& octets);

// A new default value of the named type; null (and `error` set) when there
// is no such type.
std::unique_ptr<ASN1::AbstractData> newValue(const std::string& typeName, std::string& error);
// Checks a value against its type's constraints and encodes it in aligned
// PER; a broken constraint names the component ("slot: The INTEGER value
// 5000 is greater than upper bound 1023").
bool encodeValue(const ASN1::AbstractData& value, std::vector<char>& octets, std::string& error);
// Reads the one value of the named type that the text holds and encodes it
// in aligned PER; what does not read is named by line and column.
bool encodeText(const std::string& typeName, const std::string& text,
                std::vector<char>& octets, std::string& error);
// Decodes aligned PER into `value` (open types stay undecoded). The octets
// must hold exactly one value: a failure names the position, counted from
// octet 1, bit 1, and the component that did not decode or where the input
// ended ("at octet 5, bit 1: the input ends inside pdu.command.userData"),
// and octets after the value's end fail too. On failure the value is partly
// filled and to be discarded.
bool decodeOctets(const std::vector<char>& octets, ASN1::AbstractData& value,
                  std::string& error);

// Every verb and option, for --help.
extern const char* const usageText;

// Runs one command (the arguments after the program name) with the input
// descriptor and the output streams given; returns the exit status.
int run(const std::vector<std::string>& args, int input, std::ostream& out, std::ostream& err);

}  // namespace Lgcpc

#endif
