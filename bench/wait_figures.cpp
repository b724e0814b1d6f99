// The fine figures of the network waits, which the tests bound only
// coarsely (a test tells a freeze or a spin from a loaded machine; this
// program tells how well the waits do on this machine now):
// - a line read on a silent loopback peer with the program's anti-freeze
//   (slices of its kIdleTimeOut, every slice pumping Qt's events): the gaps
//   between the ticks of a 10 ms timer (percentiles), the CPU taken per
//   second of wait, the slices per second and how late the time-out ends;
// - the same read with slices of 250 ms and with no anti-freeze;
// - a connect that hangs (a listener whose backlog is full) with a 3 s
//   limit: how late it ends and its CPU.
// Each figure is printed with its target; a figure that misses it gets a
// "MISS" line. It informs and always exits 0.
//   wait_figures [seconds of each wait, default 3] [rounds, default 3]
#include "BenchUtil.h"
#include "discdb/NetPump.h"
#include "netclient/NetAntiFreeze.h"
#include "netclient/NetException.h"
#include "netclient/NetTCPClient.h"

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A loopback listener with the given backlog, on a port of its own.
class Listener {
public:
    explicit Listener(int backlog)
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd_, backlog) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
            std::perror("listener");
            std::exit(0);
        }
        port_ = ntohs(a.sin_port);
    }
    ~Listener() { close(fd_); }
    int port() const { return port_; }
    int accept() { return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A plain connection from this process (fills a backlog).
int ConnectTo(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct Client : TNetTCPClient {
    explicit Client(int port)
    {
        Host = "127.0.0.1";
        Port = port;
    }
};

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p / 100.0 * double(v.size())));
    return v[i];
}

// One figure with its target; "at most" targets unless atLeast.
void Figure(const std::string &what, double value, double target, const char *unit, bool atLeast = false)
{
    const bool met = atLeast ? value >= target : value <= target;
    std::printf("  %-46s %9.2f %-5s (target %s %.2f)\n", what.c_str(), value, unit, atLeast ? ">=" : "<=", target);
    if (!met)
        std::printf("MISS %s: %.2f %s, target %s %.2f\n", what.c_str(), value, unit, atLeast ? ">=" : "<=", target);
}

struct WaitResult {
    double lateMs;       // past the time-out
    double cpuPerSecond; // CPU milliseconds per second of wait
    double slicesPerSecond;
    std::vector<double> gapsMs;  // between the 10 ms timer's ticks
};

// A line read of the given milliseconds on a silent peer; idle: the
// anti-freeze's slice (0: none).
WaitResult SilentRead(int ms, int idle)
{
    Listener l(16);
    Client c(l.port());
    c.Connect();
    const int srv = l.accept();
    std::unique_ptr<TNetAntiFreeze> af;
    int slices = 0;
    if (idle > 0) {
        af = std::make_unique<TNetAntiFreeze>();
        af->SetIdleTimeOut(idle);
        // The program's pump (Qt's events), counted.
        TNetAntiFreeze::SetEventPump([&](TNetPumpMode) {
            ++slices;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        });
    }
    WaitResult r {};
    Clock::time_point last;
    bool ticking = false;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (ticking)
            r.gapsMs.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        ticking = true;
        last = now;
    });
    timer.start();
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    c.ReadLn("", ms);
    const double took = bench::MsSince(t0);
    r.lateMs = took - ms;
    r.cpuPerSecond = (CpuSeconds() - cpu0) * 1000.0 / (took / 1000.0);
    r.slicesPerSecond = slices / (took / 1000.0);
    timer.stop();
    TNetAntiFreeze::SetEventPump(nullptr);
    af.reset();
    close(srv);
    return r;
}

// A connect of the given milliseconds to a full backlog.
WaitResult HangingConnect(int ms)
{
    Listener l(0);
    const int filler = ConnectTo(l.port());
    Client c(l.port());
    c.ConnectTimeout = ms;
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    try {
        c.Connect();
    } catch (const ENetException &) {
    }
    const double took = bench::MsSince(t0);
    if (filler >= 0)
        close(filler);
    return WaitResult {took - ms, (CpuSeconds() - cpu0) * 1000.0 / (took / 1000.0), 0, {}};
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const int ms = seconds * 1000;
    std::printf("Network waits of %d s, %d rounds each (load average now: ", seconds, rounds);
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) == 3)
        std::printf("%.2f %.2f %.2f)\n", load[0], load[1], load[2]);
    else
        std::printf("unknown)\n");

    struct Kind {
        const char *name;
        int idle;
    };
    for (const Kind &k : {Kind {"slices of the program's anti-freeze", netpump::kIdleTimeOut},
                          Kind {"slices of 250 ms", 250}, Kind {"no anti-freeze", 0}}) {
        std::vector<double> late, cpu, slices, gaps;
        for (int i = 0; i < rounds; ++i) {
            WaitResult r = SilentRead(ms, k.idle);
            late.push_back(r.lateMs);
            cpu.push_back(r.cpuPerSecond);
            slices.push_back(r.slicesPerSecond);
            gaps.insert(gaps.end(), r.gapsMs.begin(), r.gapsMs.end());
        }
        std::printf("Line read on a silent peer, %s:\n", k.name);
        Figure("time-out late by (median)", bench::Median(late), 100, "ms");
        Figure("time-out late by (worst)", *std::max_element(late.begin(), late.end()), 250, "ms");
        Figure("CPU per second of wait (median)", bench::Median(cpu), 50, "ms");
        if (k.idle > 0) {
            const int slice = std::max(k.idle, int(TNetAntiFreezeBase::NetMinSlice));
            const double ideal = 1000.0 / slice;
            Figure("slices per second (median; " + std::to_string(int(ideal)) + " ideal)", bench::Median(slices),
                   ideal * 0.8, "/s", true);
            Figure("slices per second (most)", *std::max_element(slices.begin(), slices.end()), ideal * 1.05, "/s");
            if (k.idle == netpump::kIdleTimeOut) {
                // The 10 ms timer as the windows see it.
                Figure("timer gap, 50th percentile", Percentile(gaps, 50), 15, "ms");
                Figure("timer gap, 99th percentile", Percentile(gaps, 99), 30, "ms");
                Figure("timer gap, longest", Percentile(gaps, 100), 100, "ms");
            }
        }
    }
    std::vector<double> late, cpu;
    for (int i = 0; i < rounds; ++i) {
        const WaitResult r = HangingConnect(ms);
        late.push_back(r.lateMs);
        cpu.push_back(r.cpuPerSecond);
    }
    std::printf("Connect to a full backlog, no anti-freeze:\n");
    Figure("time-out late by (median)", bench::Median(late), 100, "ms");
    Figure("time-out late by (worst)", *std::max_element(late.begin(), late.end()), 250, "ms");
    Figure("CPU per second of wait (median)", bench::Median(cpu), 50, "ms");
    return 0;
}
