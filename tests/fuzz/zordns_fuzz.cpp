// Any bytes as a DNS reply: reading its names and records stays inside the
// reply, follows a bounded number of pointers and always moves on.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/delivery/zorDns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    for (size_t start : {size_t{0}, size_t{12}, size / 2}) {
        size_t offset = start;
        const std::string name = ReadDnsName(reply, offset, reply.size());
        // A name is at most the reply's labels, each read once per pointer hop.
        if (name.size() > 64 * (reply.size() + 1) || (offset > reply.size() && start <= reply.size()))
            __builtin_trap();
    }
    for (uint16_t type : {DnsTypeMx, DnsTypeNs}) {
        TDAAnsiString names;
        size_t offset = 12;
        ReadDnsRecordNames(reply, 1000, offset, type, names);
        if (offset > reply.size() && reply.size() >= 12)
            __builtin_trap();
    }
    return 0;
}
