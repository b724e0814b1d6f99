#pragma once
// The GIF frame scanner of the markup pictures: frames are found by their
// graphic control extension followed at once by an image descriptor
// (21 F9 04, packed byte, delay, transparent index, 00, then 2C), counted, timed and cut out of the file so
// that an image decoder shows the frame asked for.
//
// Every reader works on the bytes as given and never reads beyond them; a
// truncated file simply has fewer frames.
#include <cstdint>
#include <string>

namespace GifFrames {

// Largest picture file the pictures keep (bytes); larger data is refused
// before anything is allocated.
constexpr std::size_t MaxPictureBytes = 16u * 1024u * 1024u;

// True when the data has more than 4 bytes and begins "GIF8".
bool IsGIF(const std::string &data);
// Number of frame markers; 0 for data that is not a GIF.
int FrameCount(const std::string &data);
// Delay in hundredths of a second of frame `index` (from 1); -1 when there
// is no such frame.
int FrameTime(const std::string &data, int index);

struct TFrameInfo {
    uint16_t Left = 0, Top = 0, Width = 0, Height = 0; // image descriptor of the frame
    uint16_t ScreenWidth = 0, ScreenHeight = 0;          // logical screen
};
// The data with the frames before `frame` (from 1) left out: header, colour
// table and whatever precedes the first frame, then frame `frame` and all
// later ones and the trailer. Frame 1 (or a frame below 1) keeps everything.
// `info` receives the logical screen and the descriptor of the frame.
std::string ExtractFrame(const std::string &data, int frame, TFrameInfo &info);

} // namespace GifFrames
