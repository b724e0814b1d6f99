#pragma once
// The web update's temporary folders: "mixdeck-update-XXXXXX", owned by the
// run that made them (the component, then the updater it hands them to) and
// swept by the next run once their owner has ended.
#include "platform/OwnedTemp.h"

namespace wutemp {

inline constexpr const char *Prefix = "mixdeck-update-";
using ownedtemp::Base;
using ownedtemp::OwnerAlive;
using ownedtemp::OwnerFile;
using ownedtemp::OwnerlessGrace;
using ownedtemp::SetOwner;

inline std::string Make() { return ownedtemp::Make(Prefix); }
inline void SweepLeftOvers() { ownedtemp::SweepLeftOvers(Prefix); }
inline void RemoveIfOwnedBy(const std::string &dir, pid_t pid) { ownedtemp::RemoveIfOwnedBy(Prefix, dir, pid); }

} // namespace wutemp
