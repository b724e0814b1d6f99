#pragma once
// Loopback peers for the networking tests: a listening socket on 127.0.0.1,
// a scripted peer that serves one connection on its own thread, and real
// servers started as child processes and stopped again by the test.
#include "common/TestUtil.h"
#include "netclient/NetTCPClient.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace nettest {

// A listening TCP socket on 127.0.0.1 and a port chosen by the system.
class Listener {
public:
    explicit Listener(int backlog = 16);
    ~Listener();
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;
    int port() const { return port_; }
    int fd() const { return fd_; }
    // Accepts one connection (waits at most timeoutMs); -1 on time-out.
    int accept(int timeoutMs = 10000);
private:
    int fd_ = -1;
    int port_ = 0;
};

// A TCP client aimed at 127.0.0.1:port.
struct LoopbackClient : TNetTCPClient {
    explicit LoopbackClient(int port)
    {
        Host = "127.0.0.1";
        Port = port;
    }
};

// Socket helpers for the peers' side (all bounded by time limits).
bool sendAll(int fd, const std::string &bytes);
// Reads exactly n bytes (or fewer when the peer closes or 10 s pass).
std::string recvExact(int fd, size_t n, int timeoutMs = 10000);
// Reads up to and including the next LF.
std::string recvLine(int fd, int timeoutMs = 10000);
// Reads until the peer closes (at most timeoutMs).
std::string recvAll(int fd, int timeoutMs = 10000);
// A port on 127.0.0.1 that nothing listens on right now.
int freePort();
// Connects to 127.0.0.1:port; -1 on failure.
int connectTo(int port);

// Process measurements for the bounds tests.
// Built with a sanitizer: its shadow memory makes resident sizes meaningless.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
// CPU time (user + system) of the whole process so far, in seconds.
double cpuSeconds();
// A "Vm…" field of /proc/self/status (VmRSS, VmHWM) in bytes; -1 when missing.
long long procStatusBytes(const char *field);
// Resets the peak resident size (VmHWM) to the current one; false when the
// system does not allow it.
bool resetPeakResident();
// The number of open descriptors of this process.
int openDescriptors();

// Serves one connection with a script on its own thread. The script gets the
// accepted socket; the peer closes it when the script returns.
class ScriptedPeer {
public:
    using Script = std::function<void(int fd)>;
    explicit ScriptedPeer(Script script);
    ~ScriptedPeer();  // joins
    int port() const { return listener_.port(); }
    void join();
private:
    Listener listener_;
    std::thread thread_;
};

// A server started as a child process (in a process group of its own), stopped
// with SIGTERM to that group when the object goes away, and by the system
// when the test process ends without that (the child asks for SIGTERM at
// its parent's death).
class ChildServer {
public:
    ChildServer(const std::vector<std::string> &argv, int port);
    ~ChildServer();
    ChildServer(const ChildServer &) = delete;
    ChildServer &operator=(const ChildServer &) = delete;
    // True once the port accepts connections (waits at most 10 s).
    bool ready() const { return ready_; }
    int pid() const { return pid_; }
private:
    int pid_ = -1;
    bool ready_ = false;
};

// nginx-light in the foreground with a configuration of its own in a
// temporary prefix, serving the files of root; /old/<name> answers 301 to
// /<name>, a missing file 404.
class NginxPeer {
public:
    explicit NginxPeer(const std::string &root);
    bool ready() const { return server_ && server_->ready(); }
    std::string url(const std::string &path) const;
    int port() const { return port_; }
private:
    testutil::TempDir prefix_;
    int port_;
    std::unique_ptr<ChildServer> server_;
};

// dante-server in the foreground on a loopback port of its own: SOCKS 4, 4A
// and 5 without authentication, relaying only to 127.0.0.1:targetPort.
class DantePeer {
public:
    explicit DantePeer(int targetPort);
    bool ready() const { return server_ && server_->ready(); }
    int port() const { return port_; }
private:
    testutil::TempDir dir_;
    int port_;
    std::unique_ptr<ChildServer> server_;
};

} // namespace nettest
