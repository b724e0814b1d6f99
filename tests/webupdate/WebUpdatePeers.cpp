#include "webupdate/WebUpdatePeers.h"

#include "webupdate/WuTemp.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fstream>

namespace wutest {

PythonPeer::PythonPeer(const std::string &script, const std::string &root)
{
    server_ = std::make_unique<nettest::ChildServer>([&](int port) {
        return std::vector<std::string> {"/usr/bin/python3", testutil::sourcePath("tests/peers/" + script),
                                         std::to_string(port), root};
    });
}

std::string PythonPeer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(port()) + "/" + path;
}

TestAuthority::TestAuthority()
{
    testutil::writeFile(dir_.file("openssl.cnf"),
                        "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = MIXDECK test authority\n"
                        "[ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
                        "subjectKeyIdentifier = hash\n");
    ok_ = Run("req -x509 -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -config openssl.cnf "
              "-extensions ca -keyout ca.key -out ca.pem");
}

bool TestAuthority::Run(const std::string &command)
{
    const std::string line = "cd '" + dir_.path() + "' && /usr/bin/openssl " + command + " >openssl.out 2>&1";
    return std::system(line.c_str()) == 0;
}

TestAuthority::Pair TestAuthority::Issue(const std::string &name, const std::string &altNames, bool selfSigned)
{
    const std::string cnf = name + ".cnf";
    testutil::writeFile(dir_.file(cnf), "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = " + name +
                                            "\n[leaf]\nbasicConstraints = critical,CA:FALSE\n"
                                            "keyUsage = critical,digitalSignature\nextendedKeyUsage = serverAuth\n"
                                            "subjectAltName = " + altNames + "\n");
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + name + ".key";
    const bool made =
        ok_ && (selfSigned ? Run("req -x509 -new" + key + " -days 2 -config " + cnf + " -extensions leaf -out " +
                                 name + ".pem")
                           : Run("req -new" + key + " -config " + cnf + " -out " + name + ".csr") &&
                                 Run("x509 -req -in " + name + ".csr -CA ca.pem -CAkey ca.key -set_serial 0x" +
                                     std::to_string(1000 + name.size()) + " -days 2 -extfile " + cnf +
                                     " -extensions leaf -out " + name + ".pem"));
    if (!made)
        return {};
    return {dir_.file(name + ".pem"), dir_.file(name + ".key")};
}

TlsNginxPeer::TlsNginxPeer(const std::string &root, const TestAuthority::Pair &certificate)
{
    const std::string p = prefix_.path();
    server_ = std::make_unique<nettest::ChildServer>(
        [&](const std::vector<int> &ports) {
            WriteConfig(root, certificate, ports[0], ports[1]);
            return std::vector<std::string> {"/usr/sbin/nginx", "-p", p, "-e", p + "/error.log", "-c", p + "/nginx.conf"};
        },
        2);
}

void TlsNginxPeer::WriteConfig(const std::string &root, const TestAuthority::Pair &certificate, int port,
                               int plainPort) const
{
    const std::string p = prefix_.path();
    std::ofstream conf(p + "/nginx.conf");
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "pid " << p << "/nginx.pid;\nerror_log " << p << "/error.log;\n"
         << "events { worker_connections 64; }\n"
         << "http {\n  log_format line '$request';\n"
         << "  client_body_temp_path " << p << "/body;\n  proxy_temp_path " << p << "/proxy;\n"
         << "  fastcgi_temp_path " << p << "/fastcgi;\n  uwsgi_temp_path " << p << "/uwsgi;\n"
         << "  scgi_temp_path " << p << "/scgi;\n"
         << "  server {\n    listen 127.0.0.1:" << port << " ssl;\n    root " << root << ";\n"
         << "    access_log " << p << "/tls.log line;\n"
         << "    ssl_certificate " << certificate.cert << ";\n    ssl_certificate_key " << certificate.key << ";\n"
         << "    location /old/ { rewrite ^/old/(.*)$ /$1 permanent; }\n"
         << "    location /tohttp/ { rewrite ^/tohttp/(.*)$ http://127.0.0.1:" << plainPort << "/$1 redirect; }\n"
         << "  }\n"
         << "  server {\n    listen 127.0.0.1:" << plainPort << ";\n    root " << root << ";\n"
         << "    access_log " << p << "/plain.log line;\n  }\n}\n";
}

std::string TlsNginxPeer::url(const std::string &path) const
{
    return "https://127.0.0.1:" + std::to_string(port()) + "/" + path;
}

std::string TlsNginxPeer::plainUrl(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(server_->port(1)) + "/" + path;
}

int TlsNginxPeer::LogLines(const std::string &log) const
{
    const std::string text = testutil::readFile(prefix_.file(log));
    return int(std::count(text.begin(), text.end(), '\n'));
}

std::vector<pid_t> RunningUpdaters()
{
    std::vector<pid_t> found;
    for (const std::string &n : Entries("/proc")) {
        if (n.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // "pid (name) state ppid ...": the name may hold blanks.
        const std::string stat = testutil::readFile("/proc/" + n + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size())
            continue;
        const char state = stat[close + 2];
        const long parent = std::strtol(stat.c_str() + close + 4, nullptr, 10);
        const std::string cmdline = testutil::readFile("/proc/" + n + "/cmdline");
        const std::string program = cmdline.substr(0, cmdline.find('\0'));
        if (parent == getpid() && state != 'Z' && state != 'X' && program.size() >= 8 &&
            program.compare(program.size() - 8, 8, "/upd.exe") == 0)
            found.push_back(pid_t(std::stol(n)));
    }
    return found;
}

std::vector<std::string> Entries(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TempEntries(const std::string &dir)
{
    std::vector<std::string> names = Entries(dir);
    names.erase(std::remove(names.begin(), names.end(), std::string(wutemp::OwnerFile)), names.end());
    return names;
}

std::string Snapshot(const std::string &dir)
{
    std::string out;
    for (const std::string &name : Entries(dir)) {
        const std::string path = dir + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode)) {
            out += name + " = " + testutil::readFile(path) + "\n";
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096] = {};
            const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
            out += name + " -> " + std::string(target, n > 0 ? size_t(n) : 0) + "\n";
        } else if (S_ISDIR(st.st_mode)) {
            out += name + "/\n";
            const std::string inner = Snapshot(path);
            size_t start = 0;
            while (start < inner.size()) {
                const size_t end = inner.find('\n', start);
                out += name + "/" + inner.substr(start, end - start + 1);
                start = end + 1;
            }
        } else {
            out += name + (S_ISFIFO(st.st_mode) ? " |\n" : " ?\n");
        }
    }
    return out;
}

std::string PatternBytes(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    uint32_t x = 0x9E3779B9u * seed + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = char(x & 0xFF);
    }
    return s;
}

} // namespace wutest
