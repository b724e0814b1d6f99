// Cabinet extraction over arbitrary bytes, into a scratch folder with a
// small budget; nothing may land outside it.
#include "FuzzFiles.h"
#include "webupdate/Cabfdi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const fuzzfiles::Scratch &s = fuzzfiles::Folder();
    const std::string cab = s.put("in.cab", data, size);
    std::filesystem::create_directory(s.path() + "/out");
    CabExtract(cab, s.path() + "/out/", 1 << 20);
    s.clear();
    return 0;
}
