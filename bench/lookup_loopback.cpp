// 200 online-database lookups (query, read, quit) against the scripted
// server (tests/peers/cddb_peer.py) on loopback, over cddbp and over HTTP,
// made by the program's exchange and, in the same run against the same
// server, by libcddb as an independent client. Prints lookups per second
// and the ratio (ours / libcddb's; at least 1 means no slower).
#include "BenchUtil.h"
#include "discdb/CDDBExchange.h"
#include "netclient/NetHTTP.h"
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#ifdef MIXDECK_HAVE_LIBCDDB
#include <cddb/cddb.h>
#endif

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kLookups = 200;
constexpr int kRuns = 3;

// The scripted server as a child process on a loopback port of its own,
// stopped with the object.
class Peer {
public:
    Peer(const std::string &mode, const std::string &dir)
        : port_(nettest::freePort()),
          server_({"/usr/bin/python3", std::string(MIXDECK_SOURCE_DIR) + "/tests/peers/cddb_peer.py",
                   std::to_string(port_), mode, dir},
                  port_)
    {
    }
    int port() const { return port_; }

private:
    int port_;
    nettest::ChildServer server_;
};

cddbx::Settings settings(int port, bool http)
{
    cddbx::Settings s;
    s.UseHTTP = http;
    s.ServerEntry = "127.0.0.1";
    s.Host = "127.0.0.1";
    s.CDDBPort = s.HTTPPort = port;
    s.CGIPath = "/~cddb/cddb.cgi";
    s.UserEmail = "user@example.org";
    s.ClientName = "MIXDECK bench";
    s.VersionText = "bench";
    s.TimeOutMs = 10000;
    return s;
}

// Our lookups; false when one did not find the entry.
bool ours(int port, bool http)
{
    TNetTCPClient line;
    TNetHTTP web;
    cddbx::ExchangeHooks hooks;
    const cddbx::Settings s = settings(port, http);
    const cddbx::Disc disc {"1b025603", "3 150 20000 40000 600", 3};
    for (int i = 0; i < kLookups; ++i)
        if (cddbx::Lookup(line, web, s, disc, hooks).Kind != cddbx::Outcome::Found)
            return false;
    return true;
}

#ifdef MIXDECK_HAVE_LIBCDDB
// libcddb's lookups: a new connection each (quit when it is destroyed).
bool theirs(int port, bool http)
{
    for (int i = 0; i < kLookups; ++i) {
        cddb_conn_t *conn = cddb_new();
        cddb_set_server_name(conn, "127.0.0.1");
        cddb_set_server_port(conn, port);
        cddb_cache_disable(conn);
        cddb_set_email_address(conn, "user@example.org");
        cddb_set_timeout(conn, 10);
        if (http) {
            cddb_http_enable(conn);
            cddb_set_http_path_query(conn, "/~cddb/cddb.cgi");
        }
        cddb_disc_t *disc = cddb_disc_new();
        for (int offset : {150, 20000, 40000}) {
            cddb_track_t *t = cddb_track_new();
            cddb_track_set_frame_offset(t, offset);
            cddb_disc_add_track(disc, t);
        }
        cddb_disc_set_length(disc, 600);
        cddb_disc_set_discid(disc, 0x1b025603);
        const bool ok = cddb_query(conn, disc) > 0 && cddb_read(conn, disc) == 1;
        cddb_disc_destroy(disc);
        cddb_destroy(conn);
        if (!ok)
            return false;
    }
    return true;
}
#endif

} // namespace

int main()
{
    signal(SIGPIPE, SIG_IGN);
#ifdef MIXDECK_HAVE_LIBCDDB
    cddb_log_set_level(CDDB_LOG_NONE);
#endif
    char tmpl[] = "/tmp/mixdeck-bench-cddb-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    int status = 0;
    for (bool http : {false, true}) {
        const char *name = http ? "http " : "cddbp";
        const std::string sub = dir + (http ? "/http" : "/cddbp");
        std::filesystem::create_directories(sub);
        Peer peer(http ? "http" : "cddbp", sub);
        bool okOurs = true;
        const double msOurs = bench::BestOf(kRuns, [&] { okOurs = ours(peer.port(), http) && okOurs; });
        const double rateOurs = kLookups * 1000.0 / msOurs;
        std::printf("%s  MIXDECK  %4d lookups  %8.1f ms  %8.1f lookups/s%s\n", name, kLookups, msOurs, rateOurs,
                    okOurs ? "" : "  (FAILED)");
#ifdef MIXDECK_HAVE_LIBCDDB
        bool okTheirs = true;
        const double msTheirs = bench::BestOf(kRuns, [&] { okTheirs = theirs(peer.port(), http) && okTheirs; });
        const double rateTheirs = kLookups * 1000.0 / msTheirs;
        std::printf("%s  libcddb  %4d lookups  %8.1f ms  %8.1f lookups/s%s\n", name, kLookups, msTheirs, rateTheirs,
                    okTheirs ? "" : "  (FAILED)");
        std::printf("%s  ratio (MIXDECK / libcddb lookups per second): %.2f\n", name, rateOurs / rateTheirs);
        if (!okTheirs)
            status = 1;
#else
        std::printf("%s  libcddb not built in (install libcddb2-dev)\n", name);
#endif
        if (!okOurs)
            status = 1;
    }
    std::filesystem::remove_all(dir);
    return status;
}
