// Online-database lookups (query, read, quit) against the scripted server
// (tests/peers/cddb_peer.py) on loopback, over cddbp and over HTTP, made by
// the program's exchange and, in the same run against the same server, by
// libcddb as an independent client. The two clients take turns, round by
// round, so that both meet the same load of a shared machine; printed are
// the medians over the rounds and the median of the per-round ratios of
// ours / libcddb's lookups per second with their range (target: at least
// 1, no slower).
//
// The server acknowledges every piece it receives at once ("quick_ack").
// libcddb writes each command and its line end in two writes without
// TCP_NODELAY, and the server answers only once it has the whole line: with
// the kernel's usual delayed acknowledgement the line end then waits in
// libcddb's socket (Nagle) until the server's acknowledgement timer fires,
// about 40 ms per command, three commands per lookup, while both sides are
// idle. That stall is a property of the pair on loopback, not of either
// client's work, and would make any client look well over a hundred times
// faster than libcddb. One short round with the delayed acknowledgement is
// printed as well, to show what was removed.
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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kLookups = 200;
constexpr int kRounds = 5;
constexpr int kStalledLookups = 10;

void writeScript(const std::string &dir, bool quickAck)
{
    std::ofstream(dir + "/script.json") << (quickAck ? "{\"quick_ack\": true}\n" : "{}\n");
}

// The scripted server as a child process on a loopback port of its own,
// stopped with the object.
class Peer {
public:
    Peer(const std::string &mode, const std::string &dir)
        : server_([&](int port) {
              return std::vector<std::string> {"/usr/bin/python3",
                                               std::string(MIXDECK_SOURCE_DIR) + "/tests/peers/cddb_peer.py",
                                               std::to_string(port), mode, dir};
          })
    {
    }
    int port() const { return server_.port(); }

private:
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
bool ours(int port, bool http, int lookups)
{
    TNetTCPClient line;
    TNetHTTP web;
    cddbx::ExchangeHooks hooks;
    const cddbx::Settings s = settings(port, http);
    const cddbx::Disc disc {"1b025603", "3 150 20000 40000 600", 3};
    for (int i = 0; i < lookups; ++i)
        if (cddbx::Lookup(line, web, s, disc, hooks).Kind != cddbx::Outcome::Found)
            return false;
    return true;
}

#ifdef MIXDECK_HAVE_LIBCDDB
// libcddb's lookups: a new connection each (quit when it is destroyed).
bool theirs(int port, bool http, int lookups)
{
    for (int i = 0; i < lookups; ++i) {
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

// Milliseconds of one run of f(lookups); -1 when a lookup failed.
template <class F>
double timeOf(int lookups, F f)
{
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = f(lookups);
    const double ms = bench::MsSince(t0);
    return ok ? ms : -1;
}

// Lookups per second of one run of f(lookups); 0 when a lookup failed.
template <class F>
double rate(int lookups, F f)
{
    const double ms = timeOf(lookups, f);
    return ms > 0 ? lookups * 1000.0 / ms : 0;
}

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
    std::printf("lookup_loopback: %d lookups (query, read, quit) per round, %d rounds, the clients taking turns; "
                "medians of the rounds; the server acknowledges at once (libcddb's ~40 ms delayed-ACK stall per "
                "command removed)\n",
                kLookups, kRounds);
    for (bool http : {false, true}) {
        const char *name = http ? "http " : "cddbp";
        const std::string sub = dir + (http ? "/http" : "/cddbp");
        std::filesystem::create_directories(sub);
        writeScript(sub, true);
        Peer peer(http ? "http" : "cddbp", sub);
        auto runOurs = [&](int n) { return ours(peer.port(), http, n); };
#ifdef MIXDECK_HAVE_LIBCDDB
        auto runTheirs = [&](int n) { return theirs(peer.port(), http, n); };
        // Who goes first alternates, so that neither always meets a server
        // just warmed by the other.
        const bench::Comparison cmp = bench::Interleave(
            kRounds, bench::Comparison::Speed, [&] { return timeOf(kLookups, runOurs); },
            [&] { return timeOf(kLookups, runTheirs); });
        bench::PrintComparison(std::string(name) + ", " + std::to_string(kLookups) + " lookups", cmp, "MIXDECK",
                               "libcddb", bench::AtLeast(1.0));
        std::printf("    %.1f lookups/s, libcddb %.1f lookups/s (medians)\n",
                    cmp.ours.empty() ? 0.0 : kLookups * 1000.0 / bench::Median(cmp.ours),
                    cmp.peer.empty() ? 0.0 : kLookups * 1000.0 / bench::Median(cmp.peer));
        if (cmp.failed) {
            std::printf("    FAILED: a lookup found nothing\n");
            status = 1;
        }
        // What the stall costs: libcddb against the same server with the
        // kernel's delayed acknowledgement.
        writeScript(sub, false);
        const double stalled = rate(kStalledLookups, runTheirs);
        std::printf("%s  for reference, libcddb with the server's delayed ACK: %6.1f lookups/s (%d lookups)\n", name,
                    stalled, kStalledLookups);
#else
        std::vector<double> rOurs;
        for (int round = 0; round < kRounds; ++round)
            rOurs.push_back(rate(kLookups, runOurs));
        std::printf("%s  MIXDECK %8.1f lookups/s (median of %d runs); libcddb not built in (install libcddb2-dev)%s\n",
                    name, bench::Median(rOurs), kRounds, bench::Min(rOurs) == 0 ? "  FAILED" : "");
        if (bench::Min(rOurs) == 0)
            status = 1;
#endif
    }
    std::filesystem::remove_all(dir);
    return status;
}
