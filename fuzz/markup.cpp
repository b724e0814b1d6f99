// The cell markup painter over arbitrary cell texts (cells come from list
// files and imports): lay out, draw, hit-test, strip and mark.
#include "controls/HTMLPaint.h"
#include "FuzzUtil.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text = fuzzutil::AsString(data, size);
    TFixedHTMLCanvas canvas;
    THTMLDrawParams p;
    THTMLDrawResult r;
    DrawHTMLText(canvas, text, TRect(0, 0, 120, 400), p, r);
    p.CheckHotSpot = true;
    p.X = 10;
    p.Y = 5;
    p.WordWrap = false;
    DrawHTMLText(canvas, text, TRect(0, 0, 60, 30), p, r);
    StripHTMLTags(text);
    const std::string marked = InsertMarkTags(text, "a", "hi", false);
    RemoveMarkTags(marked, "hi");
    return 0;
}
