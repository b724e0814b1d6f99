// A cover picture: the JPEG decoder of our own, and the other formats
// through the picture loader.
#include "FuzzUtil.h"

#include "compilation/ManageDB.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzutil::NeedApplication();
    for (const char *ext : {".jpg", ".bmp"}) {
        const std::string path = fuzzutil::AsFile(data, size, ext);
        try {
            LoadPictureFile(path);
        } catch (const std::exception &) {
        }
    }
    return 0;
}
