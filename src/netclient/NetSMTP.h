#pragma once
// SMTP client: greeting and capability exchange, optional AUTH LOGIN, the
// envelope (sender, To, Cc and Bcc recipients), the DATA phase and "Quit".
#include "netclient/NetMessageClient.h"

#include <string>

enum TAuthenticationType { atNone, atLogin };

class TNetSMTP : public TNetMessageClient {
public:
    TNetSMTP();
    ~TNetSMTP() override;

    TAuthenticationType AuthenticationType = atNone;
    std::string MailAgent;  // the "X-Mailer" header Send puts into the message
    std::string Password;
    std::string UserId;
    // Mechanism names of the server's EHLO reply (upper case, no duplicates).
    TStringList SupportedAuthSchemes;
    bool Authenticated = false;

    // Copies AuthenticationType, Host, MailAgent, Password, Port and UserId.
    void Assign(const TNetSMTP &source);
    // Connects, reads the 220 greeting and says "ehlo" ("Helo" when that is
    // refused); any failure disconnects (with "Quit") and is raised again.
    void Connect() override;
    // The greeting and hello exchange on an open connection (Connect's own).
    void Greet();
    // Writes "Quit" without reading a reply, then closes.
    void Disconnect() override;
    virtual bool AuthSchemeAvailable(TAuthenticationType type);
    virtual bool Authenticate();
    bool AuthLogin();
    // One mail transaction. OnWorkBegin fires once "Data" is accepted and
    // OnWorkEnd only when the server has accepted the mail after ".": a
    // refused mail never reports the end of the work.
    virtual void Send(TNetMessage &Msg);
};

// Adds the mechanisms named by the "AUTH" lines of an EHLO reply (all lines
// but the first) to schemes.
void CollectAuthSchemes(const TStringList &replyLines, TStringList &schemes);
