#pragma once
// Servers the web update tests download from, each a child process on a
// loopback port the test picks, serving the files of a folder.
#include "common/TestUtil.h"
#include "netclient/NetTestPeers.h"

#include <memory>
#include <string>

namespace wutest {

// A Python peer of tests/peers/ started with its port and the folder.
class PythonPeer {
public:
    PythonPeer(const std::string &script, const std::string &root);
    bool ready() const { return server_ && server_->ready(); }
    int port() const { return port_; }
    std::string url(const std::string &path) const;
private:
    int port_;
    std::unique_ptr<nettest::ChildServer> server_;
};

// Python's http.server with the special paths of tests/peers/wu_http.py.
struct HttpPeer : PythonPeer {
    explicit HttpPeer(const std::string &root) : PythonPeer("wu_http.py", root) {}
};

// pyftpdlib (tests/peers/wu_ftp.py): user "user" / "pass" and anonymous,
// read-only in the folder.
struct FtpPeer : PythonPeer {
    explicit FtpPeer(const std::string &root) : PythonPeer("wu_ftp.py", root) {}
};

// nginx-light (the networking tests' peer).
using NginxPeer = nettest::NginxPeer;

// Bytes that do not repeat in short cycles.
std::string PatternBytes(size_t n, unsigned seed = 1);

} // namespace wutest
