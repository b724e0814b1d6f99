#pragma once
// Printed PDF files read back with pdftotext (poppler-utils).
#include <string>
#include <vector>

namespace testutil {

// A word as pdftotext -bbox-layout finds it, in points from the page's
// top-left corner.
struct Word {
    std::string text;
    double xMin, yMin, xMax, yMax;
};
// The words of page `page` (0-based); pages receives the page count.
std::vector<Word> pdfWords(const std::string &pdf, int page = 0, int *pages = nullptr);
// The nth word of that text, or nullptr.
const Word *find(const std::vector<Word> &words, const std::string &text, int nth = 0);

} // namespace testutil
