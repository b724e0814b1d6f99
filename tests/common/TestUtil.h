#pragma once
#include <string>
#include <vector>

namespace testutil {

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string &name) const;
private:
    std::string path_;
};

// A TempDir that stands as the process's TMPDIR while the object lives; the
// old value (or its absence) comes back when it goes.
class TmpdirOfItsOwn {
public:
    TmpdirOfItsOwn();
    ~TmpdirOfItsOwn();
    TmpdirOfItsOwn(const TmpdirOfItsOwn &) = delete;
    TmpdirOfItsOwn &operator=(const TmpdirOfItsOwn &) = delete;
    // The names in it that begin with prefix, sorted.
    std::vector<std::string> Folders(const std::string &prefix) const;
    TempDir dir;
private:
    bool had_ = false;
    std::string old_;
};

std::string readFile(const std::string &path);          // bytes, empty when missing
void writeFile(const std::string &path, const std::string &bytes);
bool fileExists(const std::string &path);
// Path of a file below the source tree (tests/peers/..., for instance): the
// tree the build was made from, or the one MIXDECK_SOURCE_DIR names.
std::string sourcePath(const std::string &relative);
// Path of a file below the build folder: the one the tests were built in,
// or the one MIXDECK_BINARY_DIR names.
std::string binaryPath(const std::string &relative);
// Path of a screenshot the tests keep for people to look at: in the
// "screenshots" folder of the build folder (binaryPath), made when missing.
std::string screenshotPath(const std::string &name);
// Runs /usr/bin/python3 with the given script file and arguments; returns its
// exit status and fills out with what it printed on standard output.
int runPython(const std::string &script, const std::string &args, std::string *out = nullptr);

// Built with AddressSanitizer (which keeps freed memory aside and pads every
// block), or with any sanitizer (whose shadow memory makes resident sizes
// meaningless and every step slower).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = kAddressSanitizer;
#endif
#else
inline constexpr bool kSanitized = kAddressSanitizer;
#endif

// A "Vm…" field of /proc/self/status (VmRSS, VmHWM) in bytes; -1 when missing.
long long procStatusBytes(const char *field);
// Resets the peak resident size (VmHWM) to the current one; false when the
// system does not allow it.
bool resetPeakResident();

} // namespace testutil

#include <functional>
namespace testutil {
// Runs fn in a child process without root's rights (as user "nobody" when
// the tests run as root, so that permissions really apply) and returns the
// text fn returned, or "<crashed>" when the child did not finish. The child
// has a $TMPDIR of its own that it may write (removed afterwards).
std::string runUnprivileged(const std::function<std::string()> &fn);
// Makes a folder (and its files) readable and enterable by everybody, so an
// unprivileged child can reach the fixtures.
void openToAll(const std::string &path);
} // namespace testutil

namespace testutil {
// Kills a saving child at random moments, rounds times: each round forks a
// child that calls save(i) for i = 0, 1, 2, ... and reports every finished
// save; after its first, the child is killed with SIGKILL within maxDelayUs
// microseconds, reaped, and afterKill(round) checks what it left (false
// stops the loop). Returns the rounds run; a child that never finished a
// save ends the loop too.
int killDuringSaves(int rounds, long maxDelayUs, const std::function<void(int)> &save,
                    const std::function<bool(int)> &afterKill);
} // namespace testutil
