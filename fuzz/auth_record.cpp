// The dial-in authentication link's record reader on arbitrary bytes, fed
// in reads of the sizes the input chooses (as a slow or hostile peer
// delivers them), and what a modem slot makes of each record. Besides
// memory faults it checks that every record is as long as its length word
// says (4 to 512), that the records are the stream's bytes in order, that
// only a length outside 4 to 512 stops the reader, and that each record
// becomes either a note or a signal that encodes in aligned PER.

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "fuzz/fuzz_input.h"
#include "slots/auth_record.h"

namespace {

void CheckRequest(const attr& record) {
    AuthRequest request = ReadAuthRequest(record);
    if (!request.signal) {
        if (request.note.empty()) std::abort();
        return;
    }
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Basic_Aligned);
    std::vector<char> octets;
    if (!ASN1::encode(request.proceeding, &env, std::back_inserter(octets))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    AuthReader reader;
    std::string stream, records;
    while (!in.empty()) {
        size_t limit = 1 + in.byte() % 128;
        std::string chunk = in.bytes(std::min(limit, reader.room()));
        if (chunk.empty()) break;
        std::memcpy(reader.space(), chunk.data(), chunk.size());
        stream += chunk;
        AuthReader::Step step = reader.advance(chunk.size());
        if (step == AuthReader::kBadLength) {
            uint32_t length = attr(reinterpret_cast<const uint8_t*>(stream.data() + records.size()), 4).length();
            if (length >= attr::kMinLength && length <= attr::kMaxLength) std::abort();
            return 0;
        }
        if (step != AuthReader::kRecord) continue;
        attr record = reader.record();
        if (record.size() != record.length() || record.size() < attr::kMinLength || record.size() > attr::kMaxLength)
            std::abort();
        records.append(reinterpret_cast<const char*>(record.data()), record.size());
        if (records != stream) std::abort();
        CheckRequest(record);
    }
    if (stream.compare(0, records.size(), records) != 0) std::abort();
    return 0;
}
