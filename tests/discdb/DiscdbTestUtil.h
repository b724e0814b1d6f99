#pragma once
// Helpers of the disc identification tests: the TOC fixtures of
// tests/discdb/toc/ and simulated drives made of them.
#include "common/TestUtil.h"
#include "platform/Aspi.h"

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace discdbtest {

inline std::string fixturePath(const std::string &name)
{
    return testutil::sourcePath("tests/discdb/toc/" + name + ".toc");
}

inline std::string fixture(const std::string &name) { return testutil::readFile(fixturePath(name)); }

// Makes the folder a set of simulated drives, node -> fixture, and binds
// the layer to it through MIXDECK_CDROM_SIM.
inline void simulateDrives(const testutil::TempDir &folder,
                           const std::vector<std::pair<std::string, std::string>> &drives)
{
    for (const auto &[node, name] : drives)
        testutil::writeFile(folder.file(node + ".toc"), fixture(name));
    setenv("MIXDECK_CDROM_SIM", folder.path().c_str(), 1);
    aspi::Release();
    aspi::Bind();
}

} // namespace discdbtest
