#pragma once
// Temporary folders that name their owner: "<prefix>XXXXXX" in $TMPDIR (or
// /tmp), private to the user, each holding an owner file that names the
// process it belongs to (its id and start time). A folder goes with the run
// that made it; the folders of processes that have ended (a crash, a kill)
// are removed by the next one that makes a folder with the same prefix.
// Used by the web update (the component and the updater, so no Qt here) and
// by the office exports.
#include <string>
#include <sys/types.h>

namespace ownedtemp {

inline constexpr const char *OwnerFile = "owner";
// An owner-less folder this old (seconds) is a left-over; a younger one may
// be a folder another run has just made.
inline constexpr int OwnerlessGrace = 60;

// $TMPDIR when set and not empty, else /tmp; without a final '/'.
std::string Base();

// Removes the left-overs with this prefix, then makes a new folder owned by
// this process; its path without a final '/', empty (errno set) when it
// cannot be made.
std::string Make(const std::string &prefix);

// Names pid as the owner of dir (the updater takes over the folder it runs
// from). False when the owner file cannot be written.
bool SetOwner(const std::string &dir, pid_t pid);

// Whether the process named by dir's owner file still runs. A folder without
// a readable owner file counts as owned while it is younger than
// OwnerlessGrace.
bool OwnerAlive(const std::string &dir);

// Removes this user's folders with the prefix under Base() whose owner has
// ended.
void SweepLeftOvers(const std::string &prefix);

// Removes dir with its contents when it is a folder with the prefix, is this
// user's, and its owner file names pid.
void RemoveIfOwnedBy(const std::string &prefix, const std::string &dir, pid_t pid);

} // namespace ownedtemp
