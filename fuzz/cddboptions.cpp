// The settings reader: any file text gives a record whose selection names
// an entry of its protocol's list (or none), whose lists stay parallel and
// bounded, and which, once saved, is saved again unchanged.
#include "discdb/CDDBOptions.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const cddbopts::CDDBOptions o = cddbopts::ParseOptions(text);
    const size_t entries = o.UseHTTP ? o.HTTPServerList.size() : o.CDDBServerList.size();
    if (o.ServerToUse < -1 || (o.ServerToUse >= 0 && size_t(o.ServerToUse) >= entries))
        std::abort();
    if (o.CDDBServerList.size() != o.CDDBPortList.size() || o.HTTPServerList.size() != o.CGIPathList.size() ||
        o.HTTPServerList.size() != o.HTTPPortList.size() || o.CDDBServerList.size() > size_t(cddbopts::kMaxServers) ||
        o.HTTPServerList.size() > size_t(cddbopts::kMaxServers))
        std::abort();
    // Once saved, a record is saved again as it was. (Not the record
    // itself: a list text without "," reads as the built-in list, whose
    // first item loses its blank through the file.)
    const std::string saved = cddbopts::OptionsText(cddbopts::ParseOptions(cddbopts::OptionsText(o)));
    if (cddbopts::OptionsText(cddbopts::ParseOptions(saved)) != saved)
        std::abort();
    if (cddbopts::DecodePassword(cddbopts::EncodePassword(o.Password)) != o.Password)
        std::abort();
    return 0;
}
