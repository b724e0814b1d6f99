#pragma once
// Runs tests/peers/coder_oracle.py (Python's standard library) on bytes.
#include "common/TestUtil.h"

#include <string>
#include <vector>

namespace coderoracle {

// The oracle's output for mode on input; fails the test when it cannot run.
inline std::string Run(const std::string &mode, const std::string &input)
{
    testutil::TempDir dir;
    const std::string path = dir.file("input");
    testutil::writeFile(path, input);
    std::string out;
    const int rc = testutil::runPython(testutil::sourcePath("tests/peers/coder_oracle.py"),
                                       mode + " '" + path + "'", &out);
    if (rc != 0)
        return "<oracle failed: " + mode + ">";
    return out;
}

// Bytes 0..255 in a fixed pseudo-random order, n of them.
inline std::string Bytes(size_t n, unsigned seed = 1)
{
    std::string s(n, '\0');
    unsigned x = seed;
    for (auto &c : s) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    return s;
}

// The lines of a text split at CR LF (the last one without it).
inline std::vector<std::string> LinesOf(const std::string &s)
{
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = s.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(s.substr(at, end - at));
    lines.push_back(s.substr(at));
    return lines;
}

} // namespace coderoracle
