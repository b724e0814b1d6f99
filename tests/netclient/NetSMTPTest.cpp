// The mail message, the message client and the SMTP client, against the real
// aiosmtpd server (tests/peers/smtp_peer.py) started on a loopback port.
#include "netclient/NetSMTP.h"

#include "common/TestUtil.h"
#include "netclient/NetCoder3To4.h"
#include "netclient/NetGlobal.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <thread>

namespace {

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        out.push_back(l);
    return out;
}

// Waits (at most 10 s) until the file exists and holds the text.
std::string waitForFile(const std::string &path, const std::string &needle = std::string())
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const std::string s = testutil::readFile(path);
        if ((!s.empty() && s.find(needle) != std::string::npos) || std::chrono::steady_clock::now() > end)
            return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class SmtpPeer {
public:
    explicit SmtpPeer(const std::string &mode)
    {
        server_ = std::make_unique<nettest::ChildServer>([&](int port) {
            return std::vector<std::string> {"/usr/bin/python3", testutil::sourcePath("tests/peers/smtp_peer.py"),
                                             std::to_string(port), mode, dir_.path()};
        });
    }
    bool ready() const { return server_->ready(); }
    // With a password: AUTH LOGIN as "user" (the peer's password is "secret").
    void aim(TNetSMTP &smtp, const std::string &password = std::string()) const
    {
        smtp.Host = "127.0.0.1";
        smtp.Port = server_->port();
        smtp.ReadTimeout = 20000;  // a lost reply fails the test instead of hanging it
        if (!password.empty()) {
            smtp.AuthenticationType = atLogin;
            smtp.UserId = "user";
            smtp.Password = password;
        }
    }
    // The client's lines of every logged connection, once "Quit" arrived.
    std::vector<std::string> clientLines() const
    {
        std::vector<std::string> out;
        for (const std::string &l : lines(waitForFile(dir_.file("dialogue.txt"), "C: Quit")))
            if (l.rfind("C: ", 0) == 0)
                out.push_back(l.substr(3));
        return out;
    }
    std::string dialogue() const { return waitForFile(dir_.file("dialogue.txt"), "C: Quit"); }
    std::vector<std::string> mail(int n) const { return lines(waitForFile(dir_.file("mail-" + std::to_string(n) + ".txt"))); }
    std::string content(int n) const { return testutil::readFile(dir_.file("mail-" + std::to_string(n) + ".eml")); }
    bool hasMail(int n) const { return testutil::fileExists(dir_.file("mail-" + std::to_string(n) + ".txt")); }

private:
    testutil::TempDir dir_;
    std::unique_ptr<nettest::ChildServer> server_;
};

// The submission's kind of message: a bare sender, recipients, a subject and xmcd lines.
void fillEntry(TNetMessage &m)
{
    m.CharSet = "ISO-8859-1";
    m.NoDecode = true;
    m.From.Address = "user@example.com";
    m.Recipients.SetEMailAddresses("freedb-submit@example.org, copy@example.org");
    m.Subject = "cddb rock 0b019002";
    m.Body.Clear();
    for (const char *l : {"# xmcd", ".", "..two", "EXTD=first\nEXTD=second", "PLAYORDER="})
        m.Body.Add(l);
}

std::vector<std::string> prefixed(const std::vector<std::string> &v, const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &l : v)
        if (l.rfind(prefix, 0) == 0)
            out.push_back(l.substr(prefix.size()));
    return out;
}

// The names of the message's own header lines as the peer parsed them
// (aiosmtpd adds its own trace headers in front of "From").
std::vector<std::string> headerNames(const std::vector<std::string> &mail)
{
    std::vector<std::string> names;
    for (const std::string &h : prefixed(mail, "HEADER "))
        names.push_back(h.substr(0, h.find(':')));
    while (!names.empty() && names.front() != "From")
        names.erase(names.begin());
    return names;
}

TEST(SmtpClient, DialogueEnvelopeAndUnstuffedContent)
{
    SmtpPeer peer("plain");
    ASSERT_TRUE(peer.ready());
    TNetSMTP smtp;
    peer.aim(smtp);
    smtp.MailAgent = "MIXDECK 2.1";
    TNetMessage m;
    fillEntry(m);
    m.CCList.SetEMailAddresses("cc@example.org");
    m.BccList.SetEMailAddresses("hidden@example.org");
    // User text with line breaks must not start header lines of its own.
    m.Subject = "cddb rock 0b019002\r\nBcc: evil@example.com";
    m.Organization = "Org\nX-Evil: 1";
    std::vector<std::string> events;
    smtp.OnWorkBegin = [&](TNetComponent *, TWorkMode, int32_t) { events.push_back("begin"); };
    smtp.OnWorkEnd = [&](TNetComponent *, TWorkMode) { events.push_back("end"); };

    smtp.Connect();
    EXPECT_EQ(smtp.SupportedAuthSchemes.IndexOf("LOGIN") >= 0, true);
    smtp.Send(m);
    EXPECT_EQ(events, (std::vector<std::string> {"begin", "end"}));
    smtp.Disconnect();

    const std::vector<std::string> c = peer.clientLines();
    const std::vector<std::string> head = {"ehlo " + smtp.LocalName(),
                                           "Rset",
                                           "Mail from:<user@example.com>",
                                           "RCPT to:<freedb-submit@example.org>",
                                           "RCPT to:<copy@example.org>",
                                           "RCPT to:<cc@example.org>",
                                           "RCPT to:<hidden@example.org>",
                                           "Data"};
    ASSERT_GT(c.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(c.begin(), c.begin() + long(head.size())), head);
    const std::vector<std::string> body = {"# xmcd", "..", "...two", "EXTD=first", "EXTD=second", "PLAYORDER=",
                                           ".", "Quit"};
    EXPECT_EQ(std::vector<std::string>(c.end() - long(body.size()), c.end()), body);
    // The server's replies to "." and the other commands were 250.
    EXPECT_NE(peer.dialogue().find("C: .\nS: 250 OK\nC: Quit"), std::string::npos);

    const std::vector<std::string> mail = peer.mail(1);
    EXPECT_EQ(prefixed(mail, "FROM "), std::vector<std::string> {"user@example.com"});
    EXPECT_EQ(prefixed(mail, "RCPT "), (std::vector<std::string> {"freedb-submit@example.org", "copy@example.org",
                                                                  "cc@example.org", "hidden@example.org"}));
    EXPECT_EQ(headerNames(mail), (std::vector<std::string> {"From", "Subject", "To", "Cc", "Content-Type",
                                                            "Organization", "Date", "X-Priority", "X-Library",
                                                            "X-Mailer"}));
    const std::vector<std::string> headers = prefixed(mail, "HEADER ");
    auto has = [&](const std::string &h) { return std::find(headers.begin(), headers.end(), h) != headers.end(); };
    EXPECT_TRUE(has("Subject: cddb rock 0b019002 Bcc: evil@example.com"));
    EXPECT_TRUE(has("To: freedb-submit@example.org, copy@example.org"));
    EXPECT_TRUE(has("Content-Type: text/plain; charset=ISO-8859-1"));
    EXPECT_TRUE(has("X-Priority: 3"));
    EXPECT_TRUE(has("X-Library: Net Library 1.0"));
    EXPECT_TRUE(has("X-Mailer: MIXDECK 2.1"));
    EXPECT_EQ(prefixed(mail, "DEFECT "), std::vector<std::string> {});
    // Dot-unstuffed by the server; the bare line feed went out as CR LF.
    const std::string content = peer.content(1);
    const std::string expected = "\r\n\r\n# xmcd\r\n.\r\n..two\r\nEXTD=first\r\nEXTD=second\r\nPLAYORDER=\r\n";
    ASSERT_GE(content.size(), expected.size());
    EXPECT_EQ(content.substr(content.size() - expected.size()), expected);
    EXPECT_EQ(content.find("\nBcc"), std::string::npos);
    EXPECT_EQ(content.find("\nX-Evil"), std::string::npos);
    // The message keeps its own lines; X-Mailer stays among its extra headers.
    EXPECT_EQ(m.Body[3], "EXTD=first\nEXTD=second");
    EXPECT_EQ(m.ExtraHeaders.Values("X-Mailer"), "MIXDECK 2.1");
}

TEST(SmtpClient, LineBreaksInHeaderValuesKeepTheHeaderBlockWhole)
{
    SmtpPeer peer("plain");
    ASSERT_TRUE(peer.ready());
    TNetSMTP smtp;
    peer.aim(smtp);
    TNetMessage m;
    m.CharSet = "ISO-8859-1";
    m.From.Name = "Evil\r\n\r\nBody";
    m.From.Address = "a@x.test";
    TNetEMailAddressItem &to = m.Recipients.Add();
    to.Name = "Friend\nX-Evil: 1";
    to.Address = "b@x.test";
    m.ReplyTo.Add().Address = "c@x.test\r\nX-Reply: 1";
    m.Subject = "cddb rock 0b019002\r\n\r\nBcc: evil@example.com";
    m.ExtraHeaders.Add("X-Extra: a\r\n\r\nX-Injected: b");
    m.ExtraHeaders.Add("no name of its own");
    m.ExtraHeaders.Add("\r\n");
    m.Body.Add("the body");

    smtp.Connect();
    smtp.Send(m);
    smtp.Disconnect();

    const std::vector<std::string> mail = peer.mail(1);
    EXPECT_EQ(headerNames(mail), (std::vector<std::string> {"From", "Subject", "To", "Content-Type", "Reply-To",
                                                            "Date", "X-Priority", "X-Library", "X-Extra"}));
    const std::vector<std::string> headers = prefixed(mail, "HEADER ");
    auto has = [&](const std::string &h) { return std::find(headers.begin(), headers.end(), h) != headers.end(); };
    EXPECT_TRUE(has("Subject: cddb rock 0b019002 Bcc: evil@example.com"));
    // (The peer shows a folded line's break as "\n".)
    EXPECT_TRUE(has("X-Extra: a X-Injected: b\\n no name of its own"));
    EXPECT_EQ(prefixed(mail, "DEFECT "), std::vector<std::string> {});
    EXPECT_EQ(prefixed(mail, "BODY "), std::vector<std::string> {Base64Encode("the body\r\n")});
    // Every line of the block as sent is a header line or continues one.
    const std::string content = peer.content(1);
    const size_t end = content.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(content.substr(end), "\r\n\r\nthe body\r\n");
    std::istringstream block(content.substr(0, end));
    for (std::string line; std::getline(block, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t colon = line.find(':');
        const bool field = colon != std::string::npos && colon > 0 &&
                           line.find_first_of(" \t") > colon;
        const bool continuation = !line.empty() && (line[0] == ' ' || line[0] == '\t') &&
                                  line.find_first_not_of(" \t") != std::string::npos;
        EXPECT_TRUE(field || continuation) << "\"" << line << "\"";
    }
}

TEST(SmtpClient, AuthLoginOncePerConnection)
{
    SmtpPeer peer("plain");
    ASSERT_TRUE(peer.ready());
    TNetSMTP smtp;
    peer.aim(smtp, "secret");
    TNetMessage m;
    fillEntry(m);
    smtp.Connect();
    smtp.Send(m);
    EXPECT_TRUE(smtp.Authenticated);
    smtp.Send(m);
    smtp.Disconnect();
    EXPECT_FALSE(smtp.Authenticated);
    smtp.Connect();
    smtp.Send(m);
    smtp.Disconnect();

    const std::vector<std::string> c = peer.clientLines();
    EXPECT_EQ(std::count(c.begin(), c.end(), "auth LOGIN"), 2);
    const auto at = std::find(c.begin(), c.end(), "auth LOGIN");
    ASSERT_LT(at + 3, c.end());
    EXPECT_EQ(*(at - 1), "Rset");
    EXPECT_EQ(*(at + 1), "dXNlcg==");
    EXPECT_EQ(*(at + 2), "c2VjcmV0");
    EXPECT_EQ(*(at + 3), "Mail from:<user@example.com>");
    EXPECT_TRUE(peer.hasMail(3));
}

TEST(SmtpClient, AuthLoginWithBadPasswordIsRefused)
{
    SmtpPeer peer("plain");
    ASSERT_TRUE(peer.ready());
    TNetSMTP smtp;
    peer.aim(smtp, "wrong");
    TNetMessage m;
    fillEntry(m);
    smtp.Connect();
    try {
        smtp.Send(m);
        ADD_FAILURE() << "a refused login went on";
    } catch (const ENetProtocolReplyError &e) {
        EXPECT_EQ(e.ReplyErrorCode, 535);
    }
    EXPECT_FALSE(smtp.Authenticated);
    smtp.Disconnect();
    const std::vector<std::string> c = peer.clientLines();
    EXPECT_EQ(std::count(c.begin(), c.end(), "Data"), 0);
    EXPECT_FALSE(peer.hasMail(1));
}

TEST(SmtpClient, RefusedEhloFallsBackToHelo)
{
    SmtpPeer peer("noehlo");
    ASSERT_TRUE(peer.ready());
    TNetSMTP smtp;
    peer.aim(smtp, "secret");  // no scheme known after HELO: no AUTH at all
    TNetMessage m;
    fillEntry(m);
    smtp.Connect();
    EXPECT_EQ(smtp.SupportedAuthSchemes.Count(), 0);
    smtp.Send(m);
    smtp.Disconnect();
    const std::vector<std::string> c = peer.clientLines();
    ASSERT_GE(c.size(), 4u);
    EXPECT_EQ(c[0], "ehlo " + smtp.LocalName());
    EXPECT_EQ(c[1], "Helo " + smtp.LocalName());
    EXPECT_EQ(c[2], "Rset");
    EXPECT_EQ(c[3], "Mail from:<user@example.com>");
    EXPECT_EQ(prefixed(peer.mail(1), "FROM "), std::vector<std::string> {"user@example.com"});
}

TEST(SmtpClient, MailRefusedAtTheEndIsNeverReportedSent)
{
    SmtpPeer peer("reject");
    ASSERT_TRUE(peer.ready());
    TNetSMTP smtp;
    peer.aim(smtp);
    TNetMessage m;
    fillEntry(m);
    int begins = 0, ends = 0;
    smtp.OnWorkBegin = [&](TNetComponent *, TWorkMode, int32_t) { ++begins; };
    smtp.OnWorkEnd = [&](TNetComponent *, TWorkMode) { ++ends; };
    smtp.Connect();
    try {
        smtp.Send(m);
        ADD_FAILURE() << "a refused mail was reported sent";
    } catch (const ENetProtocolReplyError &e) {
        EXPECT_EQ(e.ReplyErrorCode, 554);
        EXPECT_EQ(std::string(e.what()), "554 Transaction failed");
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(smtp.WorkLevel(wmWrite), 0);
    EXPECT_TRUE(smtp.Connected());
    smtp.Disconnect();
    EXPECT_TRUE(peer.hasMail(1));
}

TEST(SmtpClient, SingleTextPartIsRefusedBeforeAnyEnvelope)
{
    SmtpPeer peer("plain");
    ASSERT_TRUE(peer.ready());
    TNetSMTP smtp;
    peer.aim(smtp);
    TNetMessage m;
    fillEntry(m);
    m.Parts.AddText(&m.Body);
    smtp.Connect();
    EXPECT_THROW(smtp.Send(m), ENetTextInvalidCount);
    // The connection stays usable: the next message goes through.
    m.Parts.Clear();
    smtp.Send(m);
    smtp.Disconnect();
    const std::vector<std::string> c = peer.clientLines();
    EXPECT_EQ(std::count(c.begin(), c.end(), "Data"), 1);
    EXPECT_EQ(std::count(c.begin(), c.end(), "Rset"), 1);
    EXPECT_TRUE(peer.hasMail(1));
}

TEST(SmtpClient, TextAndAttachmentParsedBackByPython)
{
    SmtpPeer peer("plain");
    ASSERT_TRUE(peer.ready());
    testutil::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += char((i * 7 + i / 256) & 0xFF);
    bytes += "\r\n.\r\n";  // what would end the data if it went out unencoded
    testutil::writeFile(dir.file("disc.bin"), bytes);
    testutil::writeFile(dir.file("empty.bin"), "");
    TNetSMTP smtp;
    peer.aim(smtp);
    TNetMessage m;
    fillEntry(m);
    m.Parts.AddAttachment(dir.file("disc.bin"));
    m.Parts.AddAttachment(dir.file("empty.bin"));
    smtp.Connect();
    smtp.Send(m);
    smtp.Disconnect();

    const std::vector<std::string> mail = peer.mail(1);
    const std::vector<std::string> headers = prefixed(mail, "HEADER ");
    auto has = [&](const std::string &h) { return std::find(headers.begin(), headers.end(), h) != headers.end(); };
    EXPECT_TRUE(has("MIME-Version: 1.0"));
    EXPECT_TRUE(has("Subject: cddb rock 0b019002"));
    EXPECT_EQ(prefixed(mail, "TYPE "), std::vector<std::string> {"multipart/mixed iso-8859-1"});
    EXPECT_EQ(prefixed(mail, "DEFECT "), std::vector<std::string> {});
    const std::vector<std::string> parts = prefixed(mail, "PART ");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], "text/plain None - " +
                            Base64Encode("# xmcd\r\n.\r\n..two\r\nEXTD=first\r\nEXTD=second\r\nPLAYORDER=\r\n"));
    EXPECT_EQ(parts[1], "application/octet-stream None disc.bin " + Base64Encode(bytes));
    EXPECT_EQ(parts[2], "application/octet-stream None empty.bin ");
    // The message now states its multipart type and its parts' defaults.
    EXPECT_EQ(m.ContentType, "multipart/mixed; boundary=\"=_NextPart_2mx7qk4zt9wdv3nbe8rs\"");
    EXPECT_EQ(m.Parts.Items(0).ContentTransfer(), "base64");
    EXPECT_EQ(static_cast<TNetAttachment &>(m.Parts.Items(0)).ContentDisposition(), "attachment");
    // Base64 in lines of 76 characters (57 bytes each).
    const std::string content = peer.content(1);
    EXPECT_NE(content.find("\r\n" + Base64Encode(bytes.substr(0, 57)) + "\r\n"), std::string::npos);
}

TEST(SmtpClient, TwoTextPartsAreAlternativesInQuotedPrintable)
{
    SmtpPeer peer("plain");
    ASSERT_TRUE(peer.ready());
    TNetSMTP smtp;
    peer.aim(smtp);
    TNetMessage m;
    fillEntry(m);
    TStringList a, b;
    a.Add(".");
    a.Add("caf\xE9 " + std::string(90, 'x') + ".y");
    // Long lines whose soft line break puts a "." at the start of a coded line.
    std::string expectedA = ".\r\ncaf\xE9 " + std::string(90, 'x') + ".y\r\n";
    for (int n = 72; n <= 77; ++n) {
        a.Add(std::string(size_t(n), 'x') + ".y");
        expectedA += std::string(size_t(n), 'x') + ".y\r\n";
    }
    b.Add("<p>second</p>");
    m.Parts.AddText(&a);
    m.Parts.AddText(&b).SetContentType("text/html");
    smtp.Connect();
    smtp.Send(m);
    smtp.Disconnect();
    const std::vector<std::string> mail = peer.mail(1);
    EXPECT_EQ(prefixed(mail, "TYPE "), std::vector<std::string> {"multipart/alternative iso-8859-1"});
    const std::vector<std::string> parts = prefixed(mail, "PART ");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], "text/plain None - " + Base64Encode(expectedA));
    EXPECT_NE(peer.content(1).find("=\r\n.y\r\n"), std::string::npos);
    EXPECT_EQ(parts[1], "text/html None - " + Base64Encode("<p>second</p>\r\n"));
    // The plain body is not sent with text parts.
    EXPECT_EQ(peer.content(1).find("PLAYORDER"), std::string::npos);
}

TEST(SmtpClient, EhloAuthLinesGiveSchemes)
{
    struct Case {
        std::vector<std::string> reply;
        std::vector<std::string> schemes;
    };
    const Case cases[] = {
        {{"250-host AUTH LOGIN", "250-AUTH LOGIN PLAIN", "250 AUTH=LOGIN"}, {"LOGIN", "PLAIN"}},
        {{"250-host", "250-XAUTH LOGIN", "250-AUTHX LOGIN", "250 auth=cram-md5"}, {"CRAM-MD5"}},
        {{"250-host", "250-AUTH", "250 AUTH "}, {}},
        {{"250 AUTH LOGIN"}, {}},
    };
    for (const Case &c : cases) {
        TStringList reply, schemes;
        for (const std::string &l : c.reply)
            reply.Add(l);
        CollectAuthSchemes(reply, schemes);
        std::vector<std::string> got;
        for (int i = 0; i < schemes.Count(); ++i)
            got.push_back(schemes[i]);
        EXPECT_EQ(got, c.schemes) << c.reply.back();
    }
}

TEST(SmtpClient, RefusedHeloClosesTheConnection)
{
    nettest::ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, "220 hi\r\n");
        nettest::recvLine(fd);
        nettest::sendAll(fd, "502 no\r\n");
        nettest::recvLine(fd);
        nettest::sendAll(fd, "501 no either\r\n");
        EXPECT_EQ(nettest::recvLine(fd), "Quit\r\n");
    });
    TNetSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = peer.port();
    try {
        smtp.Connect();
        ADD_FAILURE() << "a refused HELO connected";
    } catch (const ENetProtocolReplyError &e) {
        EXPECT_EQ(e.ReplyErrorCode, 501);
    }
    EXPECT_FALSE(smtp.Connected());
    peer.join();
}

TEST(MessageClient, ReceivesHeaderAndRawBody)
{
    nettest::ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, "From: a@example.com\r\nSubject: hi\r\n there\r\nX-Priority: 5\r\n\r\n"
                             "line\r\n..dot\r\n.\r\n");
        nettest::recvAll(fd, 2000);
    });
    TNetMessageClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.ReadTimeout = 10000;
    client.Connect();
    TNetMessage m;
    m.NoDecode = true;
    client.Receive(m);
    client.Disconnect();
    EXPECT_EQ(m.From.Address, "a@example.com");
    EXPECT_EQ(m.Subject, "hi there");
    EXPECT_EQ(m.Priority, mpLowest);
    ASSERT_EQ(m.Body.Count(), 2);
    EXPECT_EQ(m.Body[0], "line");
    EXPECT_EQ(m.Body[1], ".dot");
    peer.join();
}

// ---- the message on its own -------------------------------------------------------------

class LocalZone : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tz = getenv("TZ");
        hadTz_ = tz != nullptr;
        if (tz)
            oldTz_ = tz;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override
    {
        if (hadTz_)
            setenv("TZ", oldTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool hadTz_ = false;
    std::string oldTz_;
};

TEST_F(LocalZone, DateHeaderCarriesTheZoneOfItsOwnDate)
{
    TNetMessage m;
    m.Date = Rtl::EncodeDate(2026, 7, 14) + Rtl::EncodeTime(23, 40, 29, 0);
    EXPECT_EQ(m.GenerateHeader()->Values("Date"), "Tue, 14 Jul 2026 23:40:29 +0200");
    m.Date = Rtl::EncodeDate(2026, 12, 8) + Rtl::EncodeTime(23, 40, 29, 0);
    EXPECT_EQ(m.GenerateHeader()->Values("Date"), "Tue, 8 Dec 2026 23:40:29 +0100");
    EXPECT_FALSE(m.UseNowForDate());
    m.SetUseNowForDate(true);
    EXPECT_EQ(m.Date, 0.0);
}

TEST(MailMessage, HeaderOrderQuotingAndClear)
{
    TNetMessage m;
    m.From.Name = "Doe, \"J\"";
    m.From.Address = "j@example.com";
    m.Subject = "hello";
    m.Recipients.SetEMailAddresses("a@example.com, b@example.com");
    m.BccList.SetEMailAddresses("secret@example.com");
    m.Sender.Address = "s@example.com";
    m.Priority = mpHighest;
    m.NewsGroups.Add("alt.test");
    m.NewsGroups.Add("comp.x");
    m.ExtraHeaders.SetValue("X-Extra", "1");
    const std::unique_ptr<TNetHeaderList> h = m.GenerateHeader();
    std::vector<std::string> names;
    for (int i = 0; i < h->Count(); ++i)
        names.push_back(Rtl::UpperCase(h->GetName(i)));
    EXPECT_EQ(names, (std::vector<std::string> {"FROM", "SUBJECT", "TO", "NEWSGROUPS", "SENDER", "DATE",
                                                "X-PRIORITY", "X-LIBRARY", "X-EXTRA"}));
    EXPECT_EQ(h->Values("From"), "\"Doe, \\\"J\\\"\" <j@example.com>");
    EXPECT_EQ(h->Values("To"), "a@example.com, b@example.com");
    EXPECT_EQ(h->Values("Newsgroups"), "alt.test,comp.x");
    EXPECT_EQ(h->Values("X-Priority"), "1");
    EXPECT_EQ(h->IndexOfName("Bcc"), -1);

    m.CharSet = "ISO-8859-1";
    m.Clear();
    EXPECT_EQ(m.CharSet, "");
    EXPECT_EQ(m.Recipients.Count(), 0);
    EXPECT_EQ(m.BccList.Count(), 0);
    EXPECT_EQ(m.Priority, mpNormal);
}

TEST(MailMessage, ReceivedHeadersFillTheFields)
{
    TNetMessage m;
    for (const char *l : {"From: =?ISO-8859-1?Q?Andr=E9?= <andre@example.com>", "Subject: =?ISO-8859-1?Q?caf=E9?=",
                          "To: a@example.com, \"B, b\" <b@example.com>", "Newsgroups: x.y, \"a b\", ,z",
                          "X-Priority: 1 (Highest)", "Return-Receipt-To: r@example.com", "Message-Id: <1@x>"})
        m.RawHeaders.Add(l);
    m.ProcessHeaders();
    EXPECT_EQ(m.From.Address, "andre@example.com");
    EXPECT_EQ(m.From.Name, "Andr\xE9");
    EXPECT_EQ(m.Subject, "caf\xE9");
    ASSERT_EQ(m.Recipients.Count(), 2);
    EXPECT_EQ(m.Recipients.Items(1).Address, "b@example.com");
    EXPECT_EQ(m.NewsGroups.Count(), 3);
    EXPECT_EQ(m.Priority, mpHighest);
    EXPECT_EQ(m.ReceiptRecipient.Address, "r@example.com");
    EXPECT_EQ(m.MessageId, "<1@x>");
    struct P {
        const char *text;
        TNetMessagePriority p;
    };
    for (const P &c : {P {"", mpNormal}, P {"urgent", mpHigh}, P {"Non-Priority", mpLow}, P {"5", mpLowest},
                       P {"junk", mpNormal}, P {" 2 (High)", mpHigh}})
        EXPECT_EQ(PriorityFromText(c.text), c.p) << c.text;
}

TEST(MailMessage, PartsByClassNameAndAssign)
{
    TNetMessage m;
    EXPECT_THROW(
        {
            try {
                m.Parts.AddByClassName("TNetMessagePart");
            } catch (const ENetCanNotCreateMessagePart &e) {
                EXPECT_EQ(std::string(e.what()), "TNetMessagePart can not be created.  Use descendant classes. ");
                throw;
            }
        },
        ENetCanNotCreateMessagePart);
    TNetAttachment &a = static_cast<TNetAttachment &>(m.Parts.AddByClassName("TNetAttachment"));
    a.FileName = "x.bin";
    a.SetContentType("image/png");
    a.SetContentDisposition("inline");
    TNetAttachment &b = m.Parts.AddAttachment("");
    b.Assign(a);
    EXPECT_EQ(b.FileName, "x.bin");
    EXPECT_EQ(b.ContentType(), "image/png");
    EXPECT_EQ(b.ContentDisposition(), "inline");
    EXPECT_THROW(m.Parts.AddText().Assign(a), EConvertError);
}

} // namespace
