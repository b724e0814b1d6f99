// The GIF frame scanner and the picture loader over arbitrary bytes: count,
// time and cut every frame, then load the bytes as a picture and step it.
#include "controls/GifFrames.h"
#include "controls/PictureContainer.h"
#include "platform/Streams.h"
#include "FuzzUtil.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzutil::NeedApplication();
    const std::string bytes = fuzzutil::AsString(data, size);
    const int frames = GifFrames::FrameCount(bytes);
    for (int f = 0; f <= frames + 1 && f < 16; ++f) {
        GifFrames::FrameTime(bytes, f);
        GifFrames::TFrameInfo info;
        GifFrames::ExtractFrame(bytes, f, info);
    }
    THTMLPicture p;
    TMemoryStream m;
    m.SetBytes(bytes);
    try {
        p.LoadFromStream(m);
    } catch (const Exception &) {
        return 0;
    }
    for (int i = 0; i < 8; ++i) p.Step();
    p.FramePrev();
    p.GetMaxWidth();
    return 0;
}
