#pragma once
// The peak of resident memory around a piece of work, for the tests that
// check that a reader or writer asks for no more than it should.
#include "common/TestUtil.h"

#include <functional>

namespace memorypeak {

// Resident memory says nothing under AddressSanitizer, which keeps freed
// memory aside and pads every block.
constexpr bool kMemoryMeasured = !testutil::kAddressSanitizer;

// How far resident memory rose above its level before fn, in MB (0 where
// it is not measured).
inline long peakGrowthMb(const std::function<void()> &fn)
{
    if (!kMemoryMeasured) {
        fn();
        return 0;
    }
    testutil::resetPeakResident();
    const long long before = testutil::procStatusBytes("VmRSS");
    fn();
    return long((testutil::procStatusBytes("VmHWM") - before) / (1024 * 1024));
}

} // namespace memorypeak
