#pragma once
// The peak of resident memory around a piece of work, for the tests that
// check that a reader or writer asks for no more than it should.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace memorypeak {

// Resident memory in kB: now, or the peak since the last reset.
inline long statusKb(const char *field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

// AddressSanitizer keeps freed memory aside and pads every block, so
// resident memory says nothing about the readers there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasured = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryMeasured = false;
#else
constexpr bool kMemoryMeasured = true;
#endif
#else
constexpr bool kMemoryMeasured = true;
#endif

// How far resident memory rose above its level before fn, in MB (0 where
// it is not measured).
inline long peakGrowthMb(const std::function<void()> &fn)
{
    if (!kMemoryMeasured) {
        fn();
        return 0;
    }
    {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";  // resets the peak to the current size
    }
    const long before = statusKb("VmRSS:");
    fn();
    return (statusKb("VmHWM:") - before) / 1024;
}

} // namespace memorypeak
