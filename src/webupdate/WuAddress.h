#pragma once
// Where the web update may fetch from, and how: https with the server's
// certificate and host name verified; plain http only to this machine
// (127.0.0.0/8, ::1, "localhost"), for local testing. The rules are applied
// to every HTTP transfer of the component: the control file, the listed
// files and the texts of the dialogs.
#include <string>

namespace wuaddress {

// Whether Url may be fetched: an https address, or an http address whose
// host is a loopback address. Why gets the reason when it may not.
bool Allowed(const std::string &Url, std::string &Why);

// Whether Host (as written in an address: "[::1]" with brackets, or a name)
// names this machine's loopback interface.
bool IsLoopbackHost(const std::string &Host);

// Whether a socket address is a loopback address (IPv4 127.0.0.0/8, IPv6 ::1
// or an IPv4-mapped 127.x address).
bool IsLoopbackAddress(const void *SockAddr);

// Sets the transfer rules on a curl easy handle for a request to Url (which
// Allowed() accepted): the protocols it and its redirections may use, the
// certificate checks, and for a plain http address a guard that lets
// sockets connect to loopback addresses only. OffLoopback (when given, and
// living as long as the transfer) is set when that guard refused a
// connection: a redirection to a host that is not this machine.
void Restrict(void *Curl, const std::string &Url, bool *OffLoopback = nullptr);

// The message for a redirection the loopback guard refused; Target is the
// address it led to.
std::string OffLoopbackText(const std::string &Target);

// The message for a transfer that ended with libcurl's result Code, when
// that result is a refusal of these rules (a certificate or TLS failure, a
// redirection to another protocol); empty otherwise. Detail: libcurl's own
// description of the failure.
std::string RefusalText(int Code, const std::string &Detail);

// For the tests only (no setting or variable reaches it): the certificate
// authorities (a PEM file) that connections opened afterwards trust instead
// of the system's. Empty: the system's again.
void TrustAuthorityForTests(const std::string &PemFile);

} // namespace wuaddress
