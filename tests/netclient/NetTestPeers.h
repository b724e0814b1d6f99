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
// A port on 127.0.0.1 that nothing listens on right now: a candidate for a
// server to bind, which may be taken by then (ChildServer tries another).
int freePort();

// A port on 127.0.0.1 held bound with nothing listening on it: a
// connection to it is refused for as long as the object lives, and no other
// process can take the port meanwhile. pick, when given, names the
// candidates (a port of some range); else the system chooses.
class ClosedPort {
public:
    explicit ClosedPort(const std::function<int()> &pick = {});
    ~ClosedPort();
    ClosedPort(const ClosedPort &) = delete;
    ClosedPort &operator=(const ClosedPort &) = delete;
    int port() const { return port_; }
private:
    int fd_ = -1;
    int port_ = 0;
};
// Connects to 127.0.0.1:port; -1 on failure.
int connectTo(int port);

// Process measurements for the bounds tests.
using testutil::kSanitized;
// CPU time (user + system) of the whole process so far, in seconds.
double cpuSeconds();
using testutil::procStatusBytes;
using testutil::resetPeakResident;
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

// A server started as a child process (in a process group of its own) on
// loopback ports it listens on itself, stopped with SIGTERM to that group
// when the object goes away, and by the system when the test process ends
// without that (the child asks for SIGTERM at its parent's death).
//
// A port picked in advance may be taken before the child binds it: when
// the child ends, or another process listens on one of its ports, the child
// is stopped and started again on fresh ports, so the ports the test is
// given (port()) are the ones this child really listens on. (A port only
// held bound by another process is seen by the child's end: every server
// used here ends when it cannot bind, nginx after a few tries.)
class ChildServer {
public:
    // The program and its arguments for the given ports.
    using Command = std::function<std::vector<std::string>(const std::vector<int> &ports)>;
    using OnePortCommand = std::function<std::vector<std::string>(int port)>;
    // ports: how many ports the child listens on; pick: where a candidate
    // port comes from.
    explicit ChildServer(Command command, int ports = 1, const std::function<int()> &pick = freePort);
    explicit ChildServer(const OnePortCommand &command, const std::function<int()> &pick = freePort);
    ~ChildServer();
    ChildServer(const ChildServer &) = delete;
    ChildServer &operator=(const ChildServer &) = delete;
    // True once the child listens on all its ports (waits at most 30 s).
    bool ready() const { return ready_; }
    int pid() const { return pid_; }
    int port(size_t i = 0) const { return i < ports_.size() ? ports_[i] : 0; }
private:
    enum class Start { Listening, PortTaken, Failed };
    Start startOn(const std::vector<std::string> &argv);
    void stop();
    int pid_ = -1;
    bool ready_ = false;
    std::vector<int> ports_;
};

// nginx-light in the foreground with a configuration of its own in a
// temporary prefix, serving the files of root; /old/<name> answers 301 to
// /<name>, a missing file 404.
class NginxPeer {
public:
    explicit NginxPeer(const std::string &root);
    bool ready() const { return server_ && server_->ready(); }
    std::string url(const std::string &path) const;
    int port() const { return server_->port(); }
private:
    testutil::TempDir prefix_;
    std::unique_ptr<ChildServer> server_;
};

// dante-server in the foreground on a loopback port of its own: SOCKS 4, 4A
// and 5 without authentication, relaying only to 127.0.0.1:targetPort.
class DantePeer {
public:
    explicit DantePeer(int targetPort);
    bool ready() const { return server_ && server_->ready(); }
    int port() const { return server_->port(); }
private:
    testutil::TempDir dir_;
    std::unique_ptr<ChildServer> server_;
};

// microsocks (a SOCKS 5 proxy) on a loopback port of its own; extra: more
// arguments (a login: "-u", user, "-P", password).
class MicrosocksPeer {
public:
    explicit MicrosocksPeer(const std::vector<std::string> &extra = {}, const std::function<int()> &pick = freePort);
    bool ready() const { return server_.ready(); }
    int port() const { return server_.port(); }
private:
    ChildServer server_;
};

} // namespace nettest
