#include "webupdate/WebUpdatePeers.h"

#include <fstream>

namespace wutest {

PythonPeer::PythonPeer(const std::string &script, const std::string &root) : port_(nettest::freePort())
{
    server_ = std::make_unique<nettest::ChildServer>(
        std::vector<std::string>{"/usr/bin/python3", testutil::sourcePath("tests/peers/" + script),
                                 std::to_string(port_), root},
        port_);
}

std::string PythonPeer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

std::string PatternBytes(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    uint32_t x = 0x9E3779B9u * seed + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = char(x & 0xFF);
    }
    return s;
}

} // namespace wutest
