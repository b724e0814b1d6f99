#pragma once
// Small GIF files made for the tests: a logical screen with one 1 x 1 image
// per frame, each frame with or without a graphic control extension.
#include <string>
#include <vector>

namespace gifmaker {

struct Frame {
    int left = 0, top = 0, delay = 10;
    bool control = true;
};

inline void put16(std::string &s, int v)
{
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}

inline std::string MakeGif(int w, int h, const std::vector<Frame> &frames)
{
    std::string s = "GIF89a";
    put16(s, w);
    put16(s, h);
    s += char(0x80); // global colour table of 2 entries
    s += char(0);
    s += char(0);
    s += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
    for (const Frame &f : frames) {
        if (f.control) {
            s += std::string("\x21\xF9\x04\x00", 4);
            put16(s, f.delay);
            s += std::string("\x00\x00", 2);
        }
        s += char(0x2C);
        put16(s, f.left);
        put16(s, f.top);
        put16(s, 1);
        put16(s, 1);
        s += char(0);
        s += std::string("\x02\x02\x44\x01\x00", 5);
    }
    s += char(0x3B);
    return s;
}

} // namespace gifmaker
