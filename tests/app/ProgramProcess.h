#pragma once
// The built program as the program tests start it.
#include <QProcessEnvironment>

#include <cstdlib>
#include <string>

namespace programtest {

inline std::string ProgramPath()
{
    if (const char *dir = std::getenv("MIXDECK_BINARY_DIR"))
        return std::string(dir) + "/src/app/mixdeck";
    return MIXDECK_EXE_PATH;
}

// Offscreen, message boxes written to standard error and answered at once.
inline QProcessEnvironment BaseEnv()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("MIXDECK_DIALOGS", "stderr");
    env.remove("MIXDECK_STARTUP_FAIL");
    // An exception unwinding through Qt's event delivery leaves a few of
    // Qt's own allocations behind; under the address sanitizer that would
    // turn the child's exit status into the leak checker's.
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    return env;
}

} // namespace programtest
