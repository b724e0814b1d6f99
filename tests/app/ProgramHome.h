#pragma once
// A fresh program folder for a test in the process: MIXDECK_HOME names it,
// with the given MIXDECK.ini in it, for as long as the object lives.
#include "common/TestUtil.h"

#include <cstdlib>
#include <string>

namespace programtest {

struct ProgramHome {
    explicit ProgramHome(const std::string &ini = "")
    {
        setenv("MIXDECK_HOME", dir.path().c_str(), 1);
        testutil::writeFile(dir.file("MIXDECK.ini"), ini);
    }
    ~ProgramHome() { unsetenv("MIXDECK_HOME"); }
    ProgramHome(const ProgramHome &) = delete;
    ProgramHome &operator=(const ProgramHome &) = delete;

    testutil::TempDir dir;
};

} // namespace programtest
