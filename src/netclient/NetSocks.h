#pragma once
// SOCKS proxy settings of a TCP client.
#include <cstdint>
#include <string>

enum TSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };
enum TSocksAuthentication { saNoAuthentication, saUsernamePassword };

class TSocksInfo {
public:
    TSocksAuthentication Authentication = saNoAuthentication;
    std::string Host;
    std::string Password;
    int32_t Port = 0;
    std::string UserID;
    TSocksVersion Version = svNoSocks;

    // Copies all six fields.
    void Assign(const TSocksInfo &other);
};
