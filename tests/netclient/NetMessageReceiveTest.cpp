// Receiving whole mail messages into their parts, from messages that
// Python's email package wrote (tests/peers/mime_messages.py), served by a
// loopback peer the way a mail server sends them (dot-stuffed, ended by ".").
#include "NetTestPeers.h"
#include "netclient/NetCoderIMF.h"
#include "netclient/NetMessageClient.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::string pythonMessage(const std::string &name)
{
    std::string out;
    EXPECT_EQ(testutil::runPython(testutil::sourcePath("tests/peers/mime_messages.py"), name, &out), 0);
    return out;
}

// Header and body as a server sends them: every line that begins with "."
// gets another one, and the line "." ends the message.
std::string served(const std::string &message)
{
    std::string out;
    size_t at = 0;
    while (at < message.size()) {
        size_t end = message.find("\r\n", at);
        end = end == std::string::npos ? message.size() : end;
        const std::string line = message.substr(at, end - at);
        out += (line.rfind('.', 0) == 0 ? "." : "") + line + "\r\n";
        at = end + 2;
    }
    return out + ".\r\n";
}

// Receives the served message; a failure to receive is raised.
void receive(const std::string &wire, TNetMessage &m, int maxParts = 1000, bool *connectedAfter = nullptr)
{
    nettest::ScriptedPeer peer([wire](int fd) {
        nettest::sendAll(fd, wire);
        nettest::recvAll(fd, 2000);
    });
    TNetMessageClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.ReadTimeout = 10000;
    client.MaxMessageParts = maxParts;
    client.Connect();
    struct Close {
        TNetMessageClient &c;
        nettest::ScriptedPeer &p;
        bool *connected;
        ~Close()
        {
            if (connected)
                *connected = c.Connected();
            c.Disconnect();
            p.join();
        }
    } close {client, peer, connectedAfter};
    client.Receive(m);
}

std::vector<std::string> lines(const TStringList &list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list[i]);
    return out;
}

const std::vector<std::string> kQpLines = {
    "Gr\xfc\xdf" "e aus M\xfc" "nchen = Munich",
    "a long line a long line a long line a long line a long line a long line a long line a long line a long "
    "line a long line end",
    ".a line that begins with a dot",
    "trailing blank ",
};

std::string attachmentBytes()
{
    std::string s(1000, '\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = char((i * 7 + 3) % 256);
    return s;
}

TEST(MessageReceive, QuotedPrintableMessageDecodesIntoOneTextPart)
{
    TNetMessage m;
    receive(served(pythonMessage("qp")), m);
    EXPECT_EQ(m.Subject, "test qp");
    ASSERT_EQ(m.Parts.Count(), 1);
    auto *text = dynamic_cast<TNetText *>(&m.Parts.Items(0));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(lines(text->Body), kQpLines);
    EXPECT_EQ(m.Body.Count(), 0);
}

TEST(MessageReceive, MixedMessageGivesTextsNestedAlternativeAndAttachments)
{
    TNetMessage m;
    receive(served(pythonMessage("mixed")), m);
    // The text before the first boundary, the text, the alternative section
    // and its two texts, the two attachments.
    ASSERT_EQ(m.Parts.Count(), 7);
    struct Expect {
        const char *className;
        const char *contentType;  // the start of it
    };
    const Expect expect[] = {
        {"TNetText", ""},
        {"TNetText", "text/plain"},
        {"TNetText", "multipart/alternative"},
        {"TNetText", "text/plain"},
        {"TNetText", "text/html"},
        {"TNetAttachment", "application/octet-stream"},
        {"TNetAttachment", "text/plain"},
    };
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(m.Parts.Items(i).ClassName(), expect[i].className);
        EXPECT_EQ(m.Parts.Items(i).ContentType().rfind(expect[i].contentType, 0), 0u)
            << m.Parts.Items(i).ContentType();
    }
    auto text = [&](int i) { return lines(static_cast<TNetText &>(m.Parts.Items(i)).Body); };
    EXPECT_EQ(text(1), kQpLines);
    EXPECT_EQ(m.Parts.Items(1).ContentTransfer(), "quoted-printable");
    EXPECT_EQ(text(3), std::vector<std::string>{"plain version"});
    EXPECT_EQ(text(4), std::vector<std::string>{"<p>HTML version</p>"});

    auto &data = static_cast<TNetAttachment &>(m.Parts.Items(5));
    EXPECT_EQ(data.FileName, "tracks.bin");
    EXPECT_EQ(data.ContentTransfer(), "base64");
    EXPECT_EQ(testutil::readFile(data.StoragePath), attachmentBytes());

    auto &named = static_cast<TNetAttachment &>(m.Parts.Items(6));
    EXPECT_EQ(named.FileName, "B\xe4nde \xfc" "ber Musik.txt");
    EXPECT_EQ(testutil::readFile(named.StoragePath), "inside the file\r\n");

    // The attachments' files go with their parts.
    const std::string path = data.StoragePath;
    ASSERT_TRUE(std::filesystem::exists(path));
    m.Parts.Clear();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(MessageReceive, MessageOverThePartLimitIsRefusedAndLeavesNoParts)
{
    TNetMessage m;
    bool connected = true;
    try {
        receive(served(pythonMessage("mixed")), m, 5, &connected);
        ADD_FAILURE() << "a message over the part limit was taken";
    } catch (const ENetMessageTooComplex &e) {
        EXPECT_STREQ(e.what(), NetRes::RSMsgTooManyParts);
    }
    EXPECT_EQ(m.Parts.Count(), 0);
    EXPECT_FALSE(connected);  // the rest of the message was not read
}

TEST(MessageReceive, AFailedReceiveLeavesNoPartsAndNoFiles)
{
    testutil::TempDir dir;
    const char *old = getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", dir.file("").c_str(), 1);
    // An attachment is stored, then a file name with a broken escape fails.
    const std::string message = "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                                "--b\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
                                "Content-Transfer-Encoding: base64\r\n\r\nAAEC\r\n"
                                "--b\r\nContent-Type: text/plain\r\n"
                                "Content-Disposition: attachment; filename=\"=?iso-8859-1?q?a=ZZ?=\"\r\n\r\nx\r\n--b--\r\n";
    TNetMessage m;
    bool connected = true;
    EXPECT_THROW(receive(served(message), m, 1000, &connected), EConvertError);
    EXPECT_FALSE(connected);
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(m.Parts.Count(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("")));
}

TEST(MessageReceive, DeeplyNestedMultipartsAreRefused)
{
    std::string body;
    std::string head = "Content-Type: multipart/mixed; boundary=\"b0\"\r\n\r\n";
    for (int i = 1; i <= TNetIMFDecoder::MaxBoundaries + 2; ++i)
        body += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=\"b" +
                std::to_string(i) + "\"\r\n\r\n";
    body += "--b" + std::to_string(TNetIMFDecoder::MaxBoundaries + 2) + "\r\n\r\ndeep\r\n";
    TNetMessage m;
    EXPECT_THROW(receive(served(head + body), m), ENetMessageTooComplex);
    EXPECT_EQ(m.Parts.Count(), 0);
}

TEST(MessageReceive, NoDecodeKeepsTheRawBody)
{
    TNetMessage m;
    m.NoDecode = true;
    receive(served(pythonMessage("qp")), m);
    EXPECT_EQ(m.Parts.Count(), 0);
    ASSERT_GE(m.Body.Count(), 1);
    EXPECT_EQ(m.Body[0], "Gr=FC=DFe aus M=FCnchen =3D Munich");
}

} // namespace
