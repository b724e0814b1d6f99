#include "netclient/NetTestPeers.h"

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

long long procStatusBytes(const char *field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0)
            return std::stoll(line.substr(key.size())) * 1024;  // given in kB
    return -1;
}

bool resetPeakResident()
{
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return bool(out);
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

ChildServer::ChildServer(const std::vector<std::string> &argv, int port)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
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
        _exit(127);
    }
    if (pid < 0)
        return;
    setpgid(pid, pid);   // also here, so the group exists before any kill
    pid_ = pid;
    for (int i = 0; i < 200 && !ready_; ++i) {
        int fd = connectTo(port);
        if (fd >= 0) {
            close(fd);
            ready_ = true;
            break;
        }
        usleep(50000);
    }
}

ChildServer::~ChildServer()
{
    if (pid_ <= 0)
        return;
    kill(-pid_, SIGTERM);
    int status;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_)
            return;
        usleep(50000);
    }
    kill(-pid_, SIGKILL);
    waitpid(pid_, &status, 0);
}

NginxPeer::NginxPeer(const std::string &root) : port_(freePort())
{
    const std::string p = prefix_.path();
    std::ofstream conf(p + "/nginx.conf");
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "pid " << p << "/nginx.pid;\nerror_log " << p << "/error.log;\n"
         << "events { worker_connections 64; }\n"
         << "http {\n  access_log off;\n"
         << "  client_body_temp_path " << p << "/body;\n  proxy_temp_path " << p << "/proxy;\n"
         << "  fastcgi_temp_path " << p << "/fastcgi;\n  uwsgi_temp_path " << p << "/uwsgi;\n"
         << "  scgi_temp_path " << p << "/scgi;\n"
         << "  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << root << ";\n"
         << "    location /old/ { rewrite ^/old/(.*)$ /$1 permanent; }\n  }\n}\n";
    conf.close();
    server_ = std::make_unique<ChildServer>(
        std::vector<std::string>{"/usr/sbin/nginx", "-p", p, "-e", p + "/error.log", "-c", p + "/nginx.conf"},
        port_);
}

std::string NginxPeer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

DantePeer::DantePeer(int targetPort) : port_(freePort())
{
    const std::string conf = dir_.file("danted.conf");
    testutil::writeFile(conf,
        "logoutput: stderr\n"
        "internal: 127.0.0.1 port = " + std::to_string(port_) + "\n"
        "external: 127.0.0.1\n"
        "clientmethod: none\n"
        "socksmethod: none\n"
        "user.privileged: root\n"
        "user.unprivileged: root\n"
        "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
        "socks pass { from: 127.0.0.0/8 to: 127.0.0.1/32 port = " + std::to_string(targetPort) +
        " command: connect }\n"
        "socks block { from: 0.0.0.0/0 to: 0.0.0.0/0 }\n");
    server_ = std::make_unique<ChildServer>(
        std::vector<std::string> {"/usr/sbin/danted", "-f", conf, "-N", "1", "-p", dir_.file("danted.pid")}, port_);
}

} // namespace nettest
