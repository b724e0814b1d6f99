// Program-level tests: the built program and the application object run as
// processes of their own on the offscreen platform.
#include "app/ProgramProcess.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <cstdlib>
#include <string>

namespace {

using programtest::BaseEnv;
using programtest::ProgramPath;

struct Result {
    bool finished = false;
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    std::string out, err;
};

Result RunProcess(const std::string &program, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(program), {});
    Result r;
    if (!p.waitForStarted(60000))
        return r;
    // A bound for a hung program, not a speed check.
    r.finished = p.waitForFinished(120000);
    if (!r.finished) {
        p.kill();
        p.waitForFinished(10000);
    }
    r.exitCode = p.exitCode();
    r.status = p.exitStatus();
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

} // namespace

TEST(StartupGuard, FailingStartupIsShownAndEndsWithNonZeroStatus)
{
    struct Case {
        const char *failText;
        const char *expectedLine;
    } cases[] = {
        {"Catalogue cannot be read", "MIXDECK message box [MIXDECK] Catalogue cannot be read (OK) -> OK\n"},
        {"", "MIXDECK message box [MIXDECK]  (OK) -> OK\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.failText);
        QProcessEnvironment env = BaseEnv();
        env.insert("MIXDECK_STARTUP_FAIL", c.failText);
        Result r = RunProcess(ProgramPath(), env);
        ASSERT_TRUE(r.finished) << "the program did not end";
        EXPECT_EQ(r.status, QProcess::NormalExit) << r.err;
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.err.find(c.expectedLine), std::string::npos) << r.err;
        // Exactly one box: the failure is shown once.
        size_t first = r.err.find("MIXDECK message box");
        EXPECT_EQ(r.err.find("MIXDECK message box", first + 1), std::string::npos) << r.err;
    }
}

TEST(HandlerGuardInApplication, ExceptionsFromAnyHandlerAreShownAndTheLoopGoesOn)
{
    QProcessEnvironment env = BaseEnv();
    Result r = RunProcess(GUARD_PROBE_PATH, env);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.status, QProcess::NormalExit) << r.err;
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string expected =
        "MessageBox|MIXDECK|Catalogue entry is broken|Error|OK|OK\n"
        "MessageBox|MIXDECK|'x' is not a valid integer value|Error|OK|OK\n"
        "MessageBox|MIXDECK|timer failed|Error|OK|OK\n"
        "MessageBox|MIXDECK|An unexpected error occurred.|Error|OK|OK\n"
        "stepsAfterThrow=0 workingClicks=1 keysAfterFailure=2 text=ok timersAfter=1 rc=7\n";
    EXPECT_EQ(r.out, expected) << r.err;
}
