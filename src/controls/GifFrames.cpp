#include "controls/GifFrames.h"

namespace GifFrames {

namespace {

uint8_t at(const std::string &d, std::size_t i) { return static_cast<uint8_t>(d[i]); }

uint16_t word(const std::string &d, std::size_t i)
{
    return uint16_t(at(d, i) | (at(d, i + 1) << 8));
}

// A frame marker at byte i: graphic control extension (21 F9 04, four data
// bytes, terminator) followed at once by an image descriptor (2C). The
// marker is looked at only when the data holds the whole extension and the
// descriptor's four values.
bool markerAt(const std::string &d, std::size_t i)
{
    if (i + 17 > d.size()) return false;
    return at(d, i) == 0x21 && at(d, i + 1) == 0xF9 && at(d, i + 2) == 0x04 && at(d, i + 8) == 0x2C;
}

} // namespace

bool IsGIF(const std::string &data)
{
    return data.size() > 4 && data.compare(0, 4, "GIF8") == 0;
}

int FrameCount(const std::string &data)
{
    if (!IsGIF(data)) return 0;
    int n = 0;
    for (std::size_t i = 0; i < data.size(); ++i)
        if (markerAt(data, i)) ++n;
    return n;
}

int FrameTime(const std::string &data, int index)
{
    if (!IsGIF(data) || index < 1) return -1;
    int n = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (!markerAt(data, i)) continue;
        if (++n == index) return word(data, i + 4);
    }
    return -1;
}

std::string ExtractFrame(const std::string &data, int frame, TFrameInfo &info)
{
    info = TFrameInfo();
    if (!IsGIF(data)) return data;
    if (data.size() >= 10) {
        info.ScreenWidth = word(data, 6);
        info.ScreenHeight = word(data, 8);
    }
    std::string out;
    out.reserve(data.size());
    int counter = 1;
    bool copying = true;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (markerAt(data, i)) {
            if (counter == frame || (frame < 1 && counter == 1)) {
                info.Left = word(data, i + 9);
                info.Top = word(data, i + 11);
                info.Width = word(data, i + 13);
                info.Height = word(data, i + 15);
            }
            ++counter;
            copying = !(frame >= counter);
        }
        if (copying) out += data[i];
    }
    return out;
}

} // namespace GifFrames
