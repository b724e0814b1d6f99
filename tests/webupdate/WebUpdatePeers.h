#pragma once
// Servers the web update tests download from, each a child process on a
// loopback port the test picks, serving the files of a folder.
#include "common/TestUtil.h"
#include "netclient/NetTestPeers.h"
#include "webupdate/WuTemp.h"

#include <memory>
#include <sys/types.h>
#include <string>
#include <vector>

namespace wutest {

// A Python peer of tests/peers/ started with its port and the folder.
class PythonPeer {
public:
    PythonPeer(const std::string &script, const std::string &root);
    bool ready() const { return server_ && server_->ready(); }
    int port() const { return server_->port(); }
    std::string url(const std::string &path) const;
private:
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

// A throw-away certificate authority written by openssl in a folder of its
// own, and the certificates it signs. Nothing of it outlives the object.
class TestAuthority {
public:
    TestAuthority();
    bool ok() const { return ok_; }
    // The authority's certificate (PEM), for the transfers to trust.
    std::string caFile() const { return dir_.file("ca.pem"); }
    struct Pair {
        std::string cert, key;
    };
    // A server certificate and key named name (files name.pem, name.key)
    // for the subjectAltName entries altNames ("IP:127.0.0.1,DNS:localhost"),
    // signed by this authority, or by itself when selfSigned. Empty paths
    // when openssl failed.
    Pair Issue(const std::string &name, const std::string &altNames, bool selfSigned = false);
private:
    bool Run(const std::string &command);
    testutil::TempDir dir_;
    bool ok_ = false;
};

// nginx-light serving the files of root over https with the given
// certificate on one loopback port, and over plain http on another. Over
// https /old/<name> answers 301 to /<name> and /tohttp/<name> answers 302 to
// the plain port's /<name>; a missing file 404. Each port logs its requests.
class TlsNginxPeer {
public:
    TlsNginxPeer(const std::string &root, const TestAuthority::Pair &certificate);
    bool ready() const { return server_ && server_->ready(); }
    int port() const { return server_->port(); }
    std::string url(const std::string &path) const;        // https://127.0.0.1:port/path
    std::string plainUrl(const std::string &path) const;   // http://127.0.0.1:plainPort/path
    // The requests each port has answered so far.
    int Requests() const { return LogLines("tls.log"); }
    int PlainRequests() const { return LogLines("plain.log"); }
private:
    int LogLines(const std::string &log) const;
    void WriteConfig(const std::string &root, const TestAuthority::Pair &certificate, int port, int plainPort) const;
    testutil::TempDir prefix_;
    std::unique_ptr<nettest::ChildServer> server_;
};

// The web update's temporary folders in a folder of the test's own, which
// stands for $TMPDIR while the object lives.
class TempBase : public testutil::TmpdirOfItsOwn {
public:
    // The names of the update's folders in it.
    std::vector<std::string> Folders() const { return TmpdirOfItsOwn::Folders(wutemp::Prefix); }
};

// The updater processes this process started that have not ended (a zombie
// counts as ended).
std::vector<pid_t> RunningUpdaters();

// The names in a folder, sorted, "." and ".." left out.
std::vector<std::string> Entries(const std::string &dir);
// The names in the web update's temporary folder, its owner file left out.
std::vector<std::string> TempEntries(const std::string &dir);

// Everything below a folder as text, one line per entry in name order:
// "name = contents" for a file, "name -> target" for a link, "name/" for a
// folder (its entries follow as "name/..."), "name |" for a pipe and
// "name ?" for anything else.
std::string Snapshot(const std::string &dir);

// Bytes that do not repeat in short cycles.
std::string PatternBytes(size_t n, unsigned seed = 1);

} // namespace wutest
