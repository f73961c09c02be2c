#ifndef KORVAND_TOOLS_LGCPC_LGCPC_H
#define KORVAND_TOOLS_LGCPC_LGCPC_H

// The controller client's commands as a library:
//   lgcpc encode TYPE   value notation on the input -> aligned PER in hex
//   lgcpc decode TYPE   hex on the input -> value notation
// TYPE is "MODULE.Type" ("LGCP.Message", "MON.Message"). A failure writes
// one line on the error stream and gives the exit status 1.

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
// Reads value notation of the named type and encodes it in aligned PER.
bool encodeText(const std::string& typeName, const std::string& text,
                std::vector<char>& octets, std::string& error);
// Decodes aligned PER into `value` (open types stay undecoded); on failure
// the value is partly filled and to be discarded.
bool decodeOctets(const std::vector<char>& octets, ASN1::AbstractData& value,
                  std::string& error);

// Runs one command (the arguments after the program name) with the given
// streams and returns the exit status.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace Lgcpc

#endif
