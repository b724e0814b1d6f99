#include "netclient/NetSMTP.h"

#include "netclient/NetCoder3To4.h"
#include "netclient/NetGlobal.h"

TNetSMTP::TNetSMTP()
{
    SupportedAuthSchemes.Duplicates = TStringList::dupIgnore;
    Port = 25;
}

TNetSMTP::~TNetSMTP() = default;

void TNetSMTP::Assign(const TNetSMTP &source)
{
    AuthenticationType = source.AuthenticationType;
    Host = source.Host;
    MailAgent = source.MailAgent;
    Password = source.Password;
    Port = source.Port;
    UserId = source.UserId;
}

void CollectAuthSchemes(const TStringList &replyLines, TStringList &schemes)
{
    for (int i = 1; i < replyLines.Count(); ++i) {
        const std::string line = Rtl::UpperCase(replyLines[i]);
        if (line.size() < 9 || line.compare(4, 4, "AUTH") != 0 || (line[8] != ' ' && line[8] != '='))
            continue;
        std::string word;
        for (size_t p = 9; p <= line.size(); ++p) {
            const char c = p < line.size() ? line[p] : ' ';
            if (c == ' ' || c == '=') {
                if (!word.empty() && schemes.IndexOf(word) < 0)
                    schemes.Add(word);
                word.clear();
            } else {
                word += c;
            }
        }
    }
}

void TNetSMTP::Greet()
{
    GetResponse({220});
    SupportedAuthSchemes.Clear();
    const std::string name = LocalName();
    if (SendCmd("ehlo " + name) == 250)
        CollectAuthSchemes(CmdResultDetails, SupportedAuthSchemes);
    else
        SendCmd("Helo " + name, 250);
}

void TNetSMTP::Connect()
{
    TNetMessageClient::Connect();
    try {
        Greet();
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TNetSMTP::Disconnect()
{
    try {
        if (Connected())
            WriteLn("Quit");
    } catch (const ENetException &) {
        // the close below happens all the same
    }
    TNetMessageClient::Disconnect();
    Authenticated = false;
}

bool TNetSMTP::AuthSchemeAvailable(TAuthenticationType type)
{
    return type == atLogin && SupportedAuthSchemes.IndexOf("LOGIN") >= 0;
}

bool TNetSMTP::AuthLogin()
{
    SendCmd("auth LOGIN", 334);
    SendCmd(Base64Encode(UserId), 334);
    SendCmd(Base64Encode(Password), 235);
    return true;
}

bool TNetSMTP::Authenticate()
{
    const bool result = AuthenticationType == atLogin ? AuthLogin() : false;
    Authenticated = true;
    return result;
}

void TNetSMTP::Send(TNetMessage &Msg)
{
    // A message the client cannot write is refused before any envelope.
    CheckTextCount(Msg);
    SendCmd("Rset");
    if (AuthenticationType != atNone && AuthSchemeAvailable(AuthenticationType) && !Authenticated)
        Authenticate();
    SendCmd("Mail from:<" + HeaderValueOneLine(Msg.From.Address) + ">", 250);
    for (const TNetEMailAddressList *list : {&Msg.Recipients, &Msg.CCList, &Msg.BccList})
        for (int i = 0; i < list->Count(); ++i)
            SendCmd("RCPT to:<" + HeaderValueOneLine(list->Items(i).Address) + ">", 250);
    SendCmd("Data", 354);
    Msg.ExtraHeaders.SetValue("X-Mailer", HeaderValueOneLine(MailAgent));
    // The work spans the message and the server's verdict on it; a failure
    // closes it without firing OnWorkEnd, which reports a finished send.
    BeginWork(wmWrite);
    try {
        SendMsg(Msg);
        SendCmd(".", 250);
    } catch (...) {
        const TWorkEndEvent onEnd = std::move(OnWorkEnd);
        OnWorkEnd = nullptr;
        EndWork(wmWrite);
        OnWorkEnd = onEnd;
        throw;
    }
    EndWork(wmWrite);
}
