// The SMTP client over arbitrary server bytes: the greeting, the EHLO reply
// with its AUTH lines (or the HELO fallback), AUTH LOGIN and one mail
// transaction, under a small byte budget. The bytes come through a socket
// pair, so no network is involved.
#include "netclient/NetSMTP.h"

#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // What fits in the pair's buffer at once.
    if (size > 65536)
        return 0;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = write(pair[1], data + sent, size - sent);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    // The server has said all it will; what the client writes still fits.
    shutdown(pair[1], SHUT_WR);
    {
        TNetSMTP smtp;
        smtp.MaxReadBytes = 4096;
        smtp.MaxLineLength = 1024;
        smtp.MaxReplyLines = 50;
        smtp.ReadTimeout = 1000;
        smtp.AuthenticationType = atLogin;
        smtp.UserId = "user";
        smtp.Password = "secret";
        smtp.Binding().AdoptSocket(pair[0]);
        TNetMessage msg;
        msg.From.Address = "a@example.com";
        msg.Recipients.SetEMailAddresses("b@example.com");
        msg.BccList.SetEMailAddresses("c@example.com");
        msg.Subject = "cddb rock 0b019002";
        msg.Body.Add("# xmcd");
        msg.Body.Add(".");
        try {
            smtp.Greet();
            smtp.Send(msg);
        } catch (const ENetException &) {
            // Every failure over server bytes is one of the library's own.
        }
        smtp.Disconnect();
    }
    close(pair[1]);
    return 0;
}
