#include "webupdate/WebUpdatePeers.h"

#include <fstream>

namespace wutest {

PythonPeer::PythonPeer(const std::string &script, const std::string &root) : port_(nettest::freePort())
{
    server_ = std::make_unique<nettest::ChildServer>(
        std::vector<std::string>{"/usr/bin/python3", testutil::sourcePath("tests/peers/" + script),
                                 std::to_string(port_), root},
        port_);
}

std::string PythonPeer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

NginxPeer::NginxPeer(const std::string &root) : port_(nettest::freePort())
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
    server_ = std::make_unique<nettest::ChildServer>(
        std::vector<std::string>{"/usr/sbin/nginx", "-p", p, "-e", p + "/error.log", "-c", p + "/nginx.conf"},
        port_);
}

std::string NginxPeer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
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
