#include "netclient/NetTestPeers.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sys/resource.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <set>
#include <sstream>
#include <sys/prctl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace nettest {

namespace {
sockaddr_in loopback(int port)
{
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(uint16_t(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sa;
}

// The sockets listening on port where a connection to 127.0.0.1 reaches
// them (bound to it, to any address, or to its IPv6 forms), by inode.
std::vector<unsigned long> loopbackListeners(int port)
{
    static const std::set<std::string> reaching = {"0100007F", "00000000", "00000000000000000000000000000000",
                                                   "0000000000000000FFFF00000100007F"};
    std::vector<unsigned long> inodes;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the heading
        while (std::getline(in, line)) {
            // sl local remote state tx:rx tr:when retransmits uid timeout inode
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
            unsigned long inode = 0;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
            const size_t colon = local.find(':');
            if (state != "0A" || colon == std::string::npos ||
                std::strtol(local.c_str() + colon + 1, nullptr, 16) != port || !reaching.count(local.substr(0, colon)))
                continue;
            inodes.push_back(inode);
        }
    }
    return inodes;
}

// The inodes of the sockets that the processes of a process group hold.
std::set<unsigned long> groupSockets(pid_t group)
{
    std::set<unsigned long> inodes;
    DIR *proc = opendir("/proc");
    if (!proc)
        return inodes;
    while (dirent *e = readdir(proc)) {
        const std::string pid = e->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // "pid (name) state ppid pgrp ...": the name may hold blanks.
        std::string stat;
        std::getline(std::ifstream("/proc/" + pid + "/stat"), stat);
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        long parent = 0, pgrp = 0;
        rest >> state >> parent >> pgrp;
        if (pgrp != group)
            continue;
        const std::string fds = "/proc/" + pid + "/fd";
        if (DIR *d = opendir(fds.c_str())) {
            while (dirent *f = readdir(d)) {
                char target[64] = {};
                const ssize_t n = readlink((fds + "/" + f->d_name).c_str(), target, sizeof target - 1);
                unsigned long inode = 0;
                if (n > 0 && std::sscanf(target, "socket:[%lu]", &inode) == 1)
                    inodes.insert(inode);
            }
            closedir(d);
        }
    }
    closedir(proc);
    return inodes;
}

bool waitIn(int fd, int timeoutMs)
{
    pollfd p {fd, POLLIN, 0};
    int r;
    do
        r = poll(&p, 1, timeoutMs);
    while (r < 0 && errno == EINTR);
    return r == 1;
}
} // namespace

Listener::Listener(int backlog)
{
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = loopback(0);
    if (bind(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) < 0 || listen(fd_, backlog) < 0)
        throw std::runtime_error("listener");
    socklen_t len = sizeof sa;
    getsockname(fd_, reinterpret_cast<sockaddr *>(&sa), &len);
    port_ = ntohs(sa.sin_port);
}

Listener::~Listener()
{
    if (fd_ >= 0)
        close(fd_);
}

int Listener::accept(int timeoutMs)
{
    if (!waitIn(fd_, timeoutMs))
        return -1;
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

bool sendAll(int fd, const std::string &bytes)
{
    size_t pos = 0;
    while (pos < bytes.size()) {
        ssize_t r = send(fd, bytes.data() + pos, bytes.size() - pos, MSG_NOSIGNAL);
        if (r <= 0)
            return false;
        pos += size_t(r);
    }
    return true;
}

std::string recvExact(int fd, size_t n, int timeoutMs)
{
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !waitIn(fd, int(left)))
            break;
        char buf[4096];
        ssize_t r = recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0)
            break;
        out.append(buf, size_t(r));
    }
    return out;
}

std::string recvLine(int fd, int timeoutMs)
{
    std::string out;
    for (int i = 0; i < 100000; ++i) {
        std::string c = recvExact(fd, 1, timeoutMs);
        if (c.empty())
            break;
        out += c;
        if (c == "\n")
            break;
    }
    return out;
}

std::string recvAll(int fd, int timeoutMs)
{
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !waitIn(fd, int(left)))
            break;
        char buf[4096];
        ssize_t r = recv(fd, buf, sizeof buf, 0);
        if (r <= 0)
            break;
        out.append(buf, size_t(r));
    }
    return out;
}

int freePort()
{
    // A port below the range the system gives outgoing connections: a port
    // from that range can meanwhile become the source port of some other
    // test's connection, or a connection to it can meet itself, and a peer
    // would then seem to answer before it started.
    int low = 32768, high = 60999;
    std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low >> high;
    constexpr int kFirst = 10000;
    if (low - kFirst >= 2000) {
        static thread_local std::mt19937 rng(std::random_device {}());
        for (int tries = 0; tries < 200; ++tries) {
            const int port = kFirst + int(rng() % unsigned(low - kFirst));
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in sa = loopback(port);
            const bool free = bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
            close(fd);
            if (free)
                return port;
        }
    }
    Listener l;
    return l.port();
}

ClosedPort::ClosedPort(const std::function<int()> &pick)
{
    // Bound without SO_REUSEADDR and never listening: nothing else can bind
    // the port, no connection takes it as its own end, and a connection to
    // it is answered with a reset.
    for (int tries = 0; tries < 100 && port_ == 0; ++tries) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa = loopback(pick ? pick() : 0);
        socklen_t len = sizeof sa;
        if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr *>(&sa), &len) == 0 && sa.sin_port != 0) {
            port_ = ntohs(sa.sin_port);
        } else if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    if (port_ == 0)
        throw std::runtime_error("no port to hold closed");
}

ClosedPort::~ClosedPort() { close(fd_); }

int connectTo(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int openDescriptors()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
        --n;  // the listing's own descriptor
    }
    return n;
}

ScriptedPeer::ScriptedPeer(Script script)
{
    thread_ = std::thread([this, script = std::move(script)] {
        int fd = listener_.accept(20000);
        if (fd < 0)
            return;
        script(fd);
        close(fd);
    });
}

ScriptedPeer::~ScriptedPeer() { join(); }

void ScriptedPeer::join()
{
    if (thread_.joinable())
        thread_.join();
}

ChildServer::ChildServer(Command command, int ports, const std::function<int()> &pick)
{
    // A port taken meanwhile costs one more start; more than a few in a row
    // means something else is wrong.
    for (int attempt = 0; attempt < 5; ++attempt) {
        ports_.clear();
        while (int(ports_.size()) < ports) {
            const int port = pick();
            if (port <= 0)
                return;
            if (std::find(ports_.begin(), ports_.end(), port) == ports_.end())
                ports_.push_back(port);
        }
        switch (startOn(command(ports_))) {
        case Start::Listening: ready_ = true; return;
        case Start::PortTaken: continue;
        case Start::Failed: return;
        }
    }
}

ChildServer::ChildServer(const OnePortCommand &command, const std::function<int()> &pick)
    : ChildServer([command](const std::vector<int> &ports) { return command(ports[0]); }, 1, pick)
{
}

ChildServer::Start ChildServer::startOn(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    // Until its exec the child holds copies of every descriptor of this
    // process, the sockets of the test's own listeners among them, which
    // would read as the child's: its sockets are counted only once it has
    // started its program, which closes this pipe's end of the child.
    int execPipe[2];
    if (pipe2(execPipe, O_CLOEXEC) != 0)
        return Start::Failed;
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec: the test may run threads.
        setpgid(0, 0);
        // A test process that dies without running its destructors (a
        // crash, a sanitizer's abort, a kill at a time-out) takes the
        // server along. The signal follows the thread that forked: peers
        // are started from the test's own thread.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execve(args[0], args.data(), environ);
        const char failed = 1;
        (void)!write(execPipe[1], &failed, 1);
        _exit(127);
    }
    close(execPipe[1]);
    if (pid < 0) {
        close(execPipe[0]);
        return Start::Failed;
    }
    setpgid(pid, pid);   // also here, so the group exists before any kill
    pid_ = pid;
    char failed = 0;
    ssize_t got;
    while ((got = read(execPipe[0], &failed, 1)) < 0 && errno == EINTR) {
    }
    close(execPipe[0]);
    if (got != 0) {
        stop();
        return Start::Failed;
    }
    // Ready once every port has listeners and all of them are the child's
    // (or its own children's); a listener of another process on one of
    // them, or the child's end (it could not bind), means the port was
    // taken. The listeners are read before the child's sockets: a socket
    // listens only after it is open.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            kill(-pid_, SIGKILL);   // whatever of its group is left
            pid_ = -1;
            return Start::PortTaken;
        }
        std::vector<std::vector<unsigned long>> listeners;
        for (int port : ports_)
            listeners.push_back(loopbackListeners(port));
        const bool all = std::none_of(listeners.begin(), listeners.end(), [](const auto &l) { return l.empty(); });
        if (std::any_of(listeners.begin(), listeners.end(), [](const auto &l) { return !l.empty(); })) {
            const std::set<unsigned long> mine = groupSockets(pid_);
            for (const auto &port : listeners)
                for (unsigned long inode : port)
                    if (!mine.count(inode)) {
                        stop();
                        return Start::PortTaken;
                    }
            if (all)
                return Start::Listening;
        }
        usleep(20000);
    }
    stop();
    return Start::Failed;
}

ChildServer::~ChildServer() { stop(); }

void ChildServer::stop()
{
    if (pid_ <= 0)
        return;
    const pid_t pid = pid_;
    pid_ = -1;
    kill(-pid, SIGTERM);
    int status;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return;
        usleep(50000);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
}

NginxPeer::NginxPeer(const std::string &root)
{
    const std::string p = prefix_.path();
    server_ = std::make_unique<ChildServer>([p, root](int port) {
        std::ofstream conf(p + "/nginx.conf");
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "pid " << p << "/nginx.pid;\nerror_log " << p << "/error.log;\n"
             << "events { worker_connections 64; }\n"
             << "http {\n  access_log off;\n"
             << "  client_body_temp_path " << p << "/body;\n  proxy_temp_path " << p << "/proxy;\n"
             << "  fastcgi_temp_path " << p << "/fastcgi;\n  uwsgi_temp_path " << p << "/uwsgi;\n"
             << "  scgi_temp_path " << p << "/scgi;\n"
             << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << root << ";\n"
             << "    location /old/ { rewrite ^/old/(.*)$ /$1 permanent; }\n  }\n}\n";
        return std::vector<std::string> {"/usr/sbin/nginx", "-p", p, "-e", p + "/error.log", "-c", p + "/nginx.conf"};
    });
}

std::string NginxPeer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(port()) + "/" + path;
}

DantePeer::DantePeer(int targetPort)
{
    const std::string conf = dir_.file("danted.conf");
    const std::string pidFile = dir_.file("danted.pid");
    server_ = std::make_unique<ChildServer>([conf, pidFile, targetPort](int port) {
        testutil::writeFile(conf,
            "logoutput: stderr\n"
            "internal: 127.0.0.1 port = " + std::to_string(port) + "\n"
            "external: 127.0.0.1\n"
            "clientmethod: none\n"
            "socksmethod: none\n"
            "user.privileged: root\n"
            "user.unprivileged: root\n"
            "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
            "socks pass { from: 127.0.0.0/8 to: 127.0.0.1/32 port = " + std::to_string(targetPort) +
            " command: connect }\n"
            "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n");
        return std::vector<std::string> {"/usr/sbin/danted", "-f", conf, "-N", "1", "-p", pidFile};
    });
}

MicrosocksPeer::MicrosocksPeer(const std::vector<std::string> &extra, const std::function<int()> &pick)
    : server_(
          [extra](int port) {
              std::vector<std::string> argv {"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", std::to_string(port)};
              argv.insert(argv.end(), extra.begin(), extra.end());
              return argv;
          },
          pick)
{
}

} // namespace nettest
