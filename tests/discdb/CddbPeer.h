#pragma once
// The scripted online-database server (tests/peers/cddb_peer.py) on a
// loopback port of its own, with its script and its log of what it received.
#include "common/TestUtil.h"
#include "discdb/CDDBExchange.h"
#include "netclient/NetTestPeers.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace discdbtest {

// A free port on 127.0.0.1 of at most four digits (the options window's port
// fields hold four), or 0.
inline int freeShortPort()
{
    std::mt19937 rng(std::random_device {}());
    for (int tries = 0; tries < 200; ++tries) {
        const int port = 2000 + int(rng() % 7999);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa {};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(uint16_t(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
        close(fd);
        if (ok)
            return port;
    }
    return 0;
}

// The text as a JSON string for the peer's script (its bytes read as latin-1).
inline std::string jsonString(const std::string &text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7f) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

// 64 KB of junk in 247 lines of 265 bytes, none of them a reply line.
inline std::string junkBody()
{
    std::string body;
    for (int i = 0; body.size() < 64 * 1024; ++i) {
        std::string line = "<junk line=" + std::to_string(i) + "> ";
        while (line.size() < 263)
            line += char('a' + (line.size() * 7 + size_t(i)) % 26);
        body += line + "\r\n";
    }
    return body;
}

class CddbPeer {
public:
    // mode: "cddbp" or "http". shortPort: a port of at most four digits.
    explicit CddbPeer(const std::string &mode, bool shortPort = false)
    {
        server_ = std::make_unique<nettest::ChildServer>(
            [&](int port) {
                return std::vector<std::string> {"/usr/bin/python3", testutil::sourcePath("tests/peers/cddb_peer.py"),
                                                 std::to_string(port), mode, dir_.path()};
            },
            shortPort ? std::function<int()>(freeShortPort) : std::function<int()>(nettest::freePort));
        port_ = server_->port();
    }
    bool ready() const { return server_->ready(); }
    int port() const { return port_; }
    // The script for the next connections (JSON text).
    void script(const std::string &json) const { testutil::writeFile(dir_.file("script.json"), json); }
    // The lines received since the last clear (without the connection marks).
    std::vector<std::string> received() const
    {
        std::vector<std::string> out;
        const std::string text = testutil::fileExists(dir_.file("log.txt")) ? testutil::readFile(dir_.file("log.txt"))
                                                                            : std::string();
        for (const std::string &l : cddbx::SplitLines(text, 0))
            if (l.rfind("C: ", 0) == 0 || l.rfind("H: ", 0) == 0)
                out.push_back(l);
        return out;
    }
    int connections() const
    {
        int n = 0;
        if (testutil::fileExists(dir_.file("log.txt")))
            for (const std::string &l : cddbx::SplitLines(testutil::readFile(dir_.file("log.txt")), 0))
                n += l == "=== connection";
        return n;
    }
    void clear() const { testutil::writeFile(dir_.file("log.txt"), ""); }
    // The client closed a connection the server kept silent.
    bool closedByClient() const
    {
        return testutil::fileExists(dir_.file("log.txt")) &&
               testutil::readFile(dir_.file("log.txt")).find("=== closed by the client") != std::string::npos;
    }

    // Settings aimed at this peer.
    cddbx::Settings settings(bool http) const
    {
        cddbx::Settings s;
        s.UseHTTP = http;
        s.ServerEntry = "127.0.0.1 N000.00 W000.00 Test server";
        s.Host = "127.0.0.1";
        s.CDDBPortText = s.HTTPPortText = std::to_string(port_);
        s.CDDBPort = s.HTTPPort = port_;
        s.CGIPath = "/~cddb/cddb.cgi";
        s.UserEmail = "user@example.org";
        s.ClientName = "MIXDECK 2.1.0.14(RC1)";
        s.VersionText = "2.1.0.14(RC1)";
        s.TimeOutMs = 10000;
        return s;
    }

private:
    testutil::TempDir dir_;
    int port_ = 0;
    std::unique_ptr<nettest::ChildServer> server_;
};

// The disc of the peer's entry: three tracks, id 1b025603.
inline cddbx::Disc peerDisc()
{
    return cddbx::Disc {"1b025603", "3 150 20000 40000 600", 3};
}

// Hooks that record what the exchange shows and answer the chooser.
struct RecordingHooks : cddbx::ExchangeHooks {
    std::vector<std::string> statuses, logs;
    std::vector<std::vector<cddbx::Match>> offered;
    int connected = 0;
    int choice = 0;
    void Status(const std::string &s) override { statuses.push_back(s); }
    void Log(const std::string &s) override { logs.push_back(s); }
    void Connected() override { ++connected; }
    int Choose(const std::vector<cddbx::Match> &m) override
    {
        offered.push_back(m);
        return choice;
    }
};

} // namespace discdbtest
