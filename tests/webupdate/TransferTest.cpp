// Transfers of the web update against real servers on loopback: Python's
// http.server, nginx-light over http and https, and pyftpdlib, and file
// copies; the rules for the addresses the update may fetch from.
#include "common/TestUtil.h"
#include "webupdate/WUpdate.h"
#include "webupdate/WebUpdatePeers.h"
#include "webupdate/WuAddress.h"
#include "webupdate/Wucrc32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using testutil::TempDir;
using wutest::Entries;

namespace {

struct Status {
    std::string text;
    int code;
    int err;
};

struct Progress {
    std::string file;
    int64_t pos;
    int64_t size;
};

double CpuSeconds()
{
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

class Transfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy", "all_proxy", "ALL_PROXY"})
            unsetenv(v);
        file = wutest::PatternBytes(10000, 5);
        testutil::writeFile(root.file("file.bin"), file);
        testutil::writeFile(app.file("file.bin"), "old contents");
        wu.AppFolder = app.path();
        wu.UpdateType = TWebUpdateType::httpUpdate;
        wu.ProcessMessages = [this] { ++pumps; };
        wu.OnStatus = [this](TWebUpdate *, const std::string &t, int32_t c, int32_t e) { statuses.push_back({t, c, e}); };
        wu.OnFileProgress = [this](TWebUpdate *, const std::string &f, int64_t p, int64_t s) { progress.push_back({f, p, s}); };
    }

    // The old target is as it was and no temporary file is left anywhere.
    void ExpectUntouched()
    {
        EXPECT_EQ(testutil::readFile(app.file("file.bin")), "old contents");
        EXPECT_EQ(Entries(app.path()), std::vector<std::string>{"file.bin"});
        EXPECT_TRUE(wutest::TempEntries(wu.GetTempDirectory()).empty());
    }

    TempDir root, app;
    std::string file;
    TWebUpdate wu;
    int pumps = 0;
    std::vector<Status> statuses;
    std::vector<Progress> progress;
};

// One server of each kind, with the path that redirects to file.bin.
struct Server {
    const char *name;
    bool nginx;
    const char *redirect;
    bool tls = false;   // nginx over https, its certificate from a throw-away authority
};

class HttpTransfer : public Transfer, public ::testing::WithParamInterface<Server> {
protected:
    void SetUp() override
    {
        Transfer::SetUp();
        if (GetParam().tls) {
            authority = std::make_unique<wutest::TestAuthority>();
            const auto pair = authority->Issue("server", "IP:127.0.0.1,DNS:localhost");
            ASSERT_FALSE(pair.cert.empty()) << "openssl failed";
            tls = std::make_unique<wutest::TlsNginxPeer>(root.path(), pair);
            wuaddress::TrustAuthorityForTests(authority->caFile());
        } else if (GetParam().nginx) {
            nginx = std::make_unique<wutest::NginxPeer>(root.path());
        } else {
            python = std::make_unique<wutest::HttpPeer>(root.path());
        }
        ASSERT_TRUE(tls ? tls->ready() : nginx ? nginx->ready() : python->ready()) << GetParam().name << " did not start";
        conn = wu.OpenInternet();
        ASSERT_TRUE(conn);
    }
    void TearDown() override { wuaddress::TrustAuthorityForTests(""); }
    std::string url(const std::string &path) const
    {
        return tls ? tls->url(path) : nginx ? nginx->url(path) : python->url(path);
    }

    std::unique_ptr<wutest::TestAuthority> authority;
    std::unique_ptr<wutest::TlsNginxPeer> tls;
    std::unique_ptr<wutest::NginxPeer> nginx;
    std::unique_ptr<wutest::HttpPeer> python;
    std::unique_ptr<TWebUpdateConnection> conn;
};

TEST_P(HttpTransfer, DownloadReplacesTargetAfterLastBlock)
{
    for (const std::string &path : {std::string("file.bin"), std::string(GetParam().redirect)}) {
        testutil::writeFile(app.file("file.bin"), "old contents");
        progress.clear();
        statuses.clear();
        bool sawOldAtLastBlock = false;
        wu.OnFileProgress = [&](TWebUpdate *, const std::string &f, int64_t p, int64_t s) {
            progress.push_back({f, p, s});
            if (p == s)
                sawOldAtLastBlock = testutil::readFile(app.file("file.bin")) == "old contents";
        };
        ASSERT_TRUE(wu.URLGetFile(conn.get(), url(path), app.path(), false)) << path;
        EXPECT_EQ(testutil::readFile(app.file("file.bin")), file);
        EXPECT_TRUE(sawOldAtLastBlock);
        // Blocks of 1 to 4096 bytes, each reported with the announced size.
        ASSERT_GE(progress.size(), 3u);
        int64_t last = 0;
        for (const Progress &p : progress) {
            EXPECT_GT(p.pos, last);
            EXPECT_LE(p.pos - last, 4096);
            EXPECT_EQ(p.size, 10000);
            EXPECT_EQ(p.file, app.file("file.bin"));
            last = p.pos;
        }
        EXPECT_EQ(last, 10000);
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses[0].text, "Download : " + url(path));
        EXPECT_EQ(statuses[0].code, 3);
        EXPECT_EQ(Entries(app.path()), std::vector<std::string>{"file.bin"});
        EXPECT_TRUE(wutest::TempEntries(wu.GetTempDirectory()).empty());
    }
    EXPECT_GE(pumps, 3);
}

TEST_P(HttpTransfer, NotFoundWritesNothing)
{
    EXPECT_FALSE(wu.URLGetFile(conn.get(), url("nothing.bin"), app.path(), false));
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[1].text, "Http status : 404");
    EXPECT_EQ(statuses[1].code, 6);
    EXPECT_EQ(statuses[1].err, 404);
    EXPECT_TRUE(progress.empty());
    ExpectUntouched();
}

TEST_P(HttpTransfer, CancelAtFirstBlockKeepsOldTarget)
{
    int asked = 0;
    wu.OnProgressCancel = [&](TWebUpdate *, bool &cancel) {
        ++asked;
        cancel = true;
    };
    EXPECT_FALSE(wu.URLGetFile(conn.get(), url("file.bin"), app.path(), false));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(progress.size(), 1u);
    ExpectUntouched();
}

TEST_P(HttpTransfer, AnnouncedSizeAndChecksumAreChecked)
{
    EXPECT_FALSE(wu.URLGetFile(conn.get(), url("file.bin"), app.path(), false, {9999, std::nullopt}));
    ExpectUntouched();
    wu.UseCRC32 = true;
    EXPECT_FALSE(wu.URLGetFile(conn.get(), url("file.bin"), app.path(), false, {0, 0x12345678u}));
    ExpectUntouched();
    const uint32_t crc = CRC32Of(file.data(), file.size());
    EXPECT_TRUE(wu.URLGetFile(conn.get(), url("file.bin"), app.path(), false, {10000, crc}));
    EXPECT_EQ(testutil::readFile(app.file("file.bin")), file);
}

INSTANTIATE_TEST_SUITE_P(Peers, HttpTransfer,
                         ::testing::Values(Server{"python", false, "redirect/file.bin"},
                                           Server{"nginx", true, "old/file.bin"},
                                           Server{"nginx_https", true, "old/file.bin", true}),
                         [](const auto &info) { return std::string(info.param.name); });

class PythonTransfer : public Transfer {
protected:
    void SetUp() override
    {
        Transfer::SetUp();
        ASSERT_TRUE(peer.ready());
        conn = wu.OpenInternet();
    }
    wutest::HttpPeer peer{root.path()};
    std::unique_ptr<TWebUpdateConnection> conn;
};

TEST_F(PythonTransfer, ChunkedAndUnannouncedBodiesReportSizeZero)
{
    for (const char *path : {"chunked/file.bin", "nolen/file.bin"}) {
        progress.clear();
        ASSERT_TRUE(wu.URLGetFile(conn.get(), peer.url(path), app.path(), false)) << path;
        EXPECT_EQ(testutil::readFile(app.file("file.bin")), file);
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back().pos, 10000);
        for (const Progress &p : progress)
            EXPECT_EQ(p.size, 0);
    }
}

TEST_F(PythonTransfer, ShortBodyIsAnError)
{
    EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url("short/file.bin"), app.path(), false));
    ExpectUntouched();
    EXPECT_NE(wu.LastError(), 0);
}

TEST_F(PythonTransfer, BodyLargerThanAllowedIsAnError)
{
    wu.MaxFileSize = 5000;
    EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url("chunked/file.bin"), app.path(), false));
    ExpectUntouched();
}

TEST_F(PythonTransfer, StalledTransferIsAbortedWithoutSpinning)
{
    wu.StallTimeoutMs = 1000;
    const auto t0 = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds();
    EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url("stall/file.bin"), app.path(), false));
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(secs, 0.9);
    EXPECT_LT(secs, 10.0);
    EXPECT_LT(CpuSeconds() - cpu0, 0.5);
    ExpectUntouched();
}

TEST_F(PythonTransfer, CredentialsGoToTheServerNotIntoTheAddress)
{
    EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url("auth/file.bin"), app.path(), false));
    EXPECT_EQ(statuses.back().err, 401);
    wu.ProxyUserID = "user";
    wu.ProxyPassword = "secret";
    statuses.clear();
    EXPECT_TRUE(wu.URLGetFile(conn.get(), peer.url("auth/file.bin"), app.path(), false));
    EXPECT_EQ(testutil::readFile(app.file("file.bin")), file);
    // The status shows the address as given, without user or password.
    EXPECT_EQ(statuses[0].text, "Download : " + peer.url("auth/file.bin"));
}

TEST_F(PythonTransfer, RedirectToAnotherSchemeIsNotFollowed)
{
    EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url("elsewhere/file.bin"), app.path(), false));
    EXPECT_EQ(statuses.back().code, 2);
    ExpectUntouched();
}

// A refused file says why: its size, a redirection to another scheme, an
// address without a file name; a file refused for its size is never called
// "not found".
TEST_F(PythonTransfer, EveryRefusalNamesItsCause)
{
    struct Case {
        const char *path;
        int64_t limit;
        TWebUpdateExpect expect;
        std::string cause;       // the start of the message
        bool notFound;           // followed by the not-found status
        int64_t mostRead;        // bytes the transfer may have kept
    } cases[] = {
        {"file.bin", 5000, {}, TWebUpdate::AnnouncedTooLargeText(10000, 5000, peer.url("file.bin")), false, 0},
        {"chunked/file.bin", 5000, {}, TWebUpdate::TooLargeText(5000, peer.url("chunked/file.bin")), false, 5000},
        {"file.bin", 0, {9999, std::nullopt}, "The file's size differs from the announced size 9999", false, 10000},
        {"elsewhere/file.bin", 0, {}, "A redirection to an address that is not https was refused", true, 0},
        {"", 0, {}, "The address names no file: " + peer.url(""), true, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        statuses.clear();
        progress.clear();
        EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url(c.path), app.path(), false, c.expect, c.limit));
        std::vector<Status> errors;
        for (const Status &st : statuses)
            if (st.code == 1)
                errors.push_back(st);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].text.substr(0, c.cause.size()), c.cause);
        const bool notFound = std::any_of(statuses.begin(), statuses.end(),
                                          [](const Status &st) { return st.text.rfind("File not found", 0) == 0; });
        EXPECT_EQ(notFound, c.notFound);
        for (const Progress &p : progress)
            EXPECT_LE(p.pos, c.mostRead);
        ExpectUntouched();
    }
}

TEST_F(PythonTransfer, NamesThatClimbAreRefused)
{
    for (const char *path : {"..", "."}) {
        statuses.clear();
        EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url(path), app.path(), false)) << path;
        EXPECT_EQ(statuses.back().code, 2);
    }
    ExpectUntouched();
}

TEST_F(Transfer, UnreachableServerIsFileNotFound)
{
    auto conn = wu.OpenInternet();
    wu.ConnectTimeoutMs = 2000;
    const nettest::ClosedPort closed;
    const std::string url = "http://127.0.0.1:" + std::to_string(closed.port()) + "/file.bin";
    EXPECT_FALSE(wu.URLGetFile(conn.get(), url, app.path(), false));
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[1].text, "File not found : " + url);
    EXPECT_EQ(statuses[1].code, 2);
    EXPECT_EQ(statuses[1].err, 1);
    ExpectUntouched();
}

// ---- where the update may fetch from ---------------------------------------

TEST(UpdateAddress, HttpsOrPlainHttpToLoopbackOnly)
{
    const std::pair<const char *, bool> cases[] = {
        {"https://updates.example.org/update.inf", true},
        {"HTTPS://updates.example.org:8443/a/update.inf", true},
        {"https://192.0.2.1/update.inf", true},
        {"http://127.0.0.1/update.inf", true},
        {"http://127.200.3.4:8080/update.inf", true},
        {"http://localhost/update.inf", true},
        {"http://LocalHost:81/update.inf", true},
        {"http://[::1]:8080/update.inf", true},
        {"http://2130706433/update.inf", true},   // 127.0.0.1 written as one number
        {"http://192.0.2.1/update.inf", false},
        {"http://www.quillfern.com/download/update.inf", false},
        {"http://127.0.0.1.example/update.inf", false},
        {"http://localhost.example/update.inf", false},
        {"http://[::ffff:c000:201]/update.inf", false},
        {"http://[::2]/update.inf", false},
        {"http://128.0.0.1/update.inf", false},
        // Numeric hosts just beside 127.0.0.0/8, dotted, short, hexadecimal or one number.
        {"http://10.0.0.1/update.inf", false},
        {"http://126.255.255.255/update.inf", false},
        {"http://0.0.0.0/update.inf", false},
        {"http://127.255.255.255/update.inf", true},
        {"http://127.1/update.inf", true},
        {"http://0x7f000001/update.inf", true},
        {"http://2130706431/update.inf", false},  // 126.255.255.255
        {"http://2147483648/update.inf", false},  // 128.0.0.0
        {"http://user@192.0.2.1/update.inf", false},
        {"ftp://127.0.0.1/update.inf", false},
        {"file:///etc/passwd", false},
        {"update.inf", false},
        {"", false},
    };
    for (const auto &[url, allowed] : cases) {
        std::string why;
        EXPECT_EQ(wuaddress::Allowed(url, why), allowed) << url;
        EXPECT_EQ(why.empty(), allowed) << url;
    }
}

// A transfer to an address the rules refuse ends before libcurl is asked to
// connect anywhere: the error says why, then the file counts as not found.
TEST_F(Transfer, RefusedAddressNeverConnects)
{
    nettest::Listener proxy;   // every connection of the transfer would come here
    wu.Proxy = "http://127.0.0.1:" + std::to_string(proxy.port());
    auto conn = wu.OpenInternet();
    const std::string url = "http://192.0.2.1/file.bin";
    EXPECT_FALSE(wu.URLGetFile(conn.get(), url, app.path(), false));
    EXPECT_EQ(proxy.accept(200), -1);
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[1].text, "The update address is refused, only https addresses are allowed: " + url);
    EXPECT_EQ(statuses[1].code, 1);
    EXPECT_EQ(statuses[2].text, "File not found : " + url);
    EXPECT_EQ(statuses[2].code, 2);
    ExpectUntouched();
}

// An IPv4 address of this machine that is not a loopback address; empty
// when it has none. Connections to it never leave the machine.
std::string OwnOtherAddress()
{
    std::string found;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return found;
    for (ifaddrs *i = list; i && found.empty(); i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        const auto *in = reinterpret_cast<const sockaddr_in *>(i->ifa_addr);
        if ((ntohl(in->sin_addr.s_addr) >> 24) == 127)
            continue;
        char text[INET_ADDRSTRLEN];
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
            found = text;
    }
    freeifaddrs(list);
    return found;
}

// A plain http transfer (allowed only on loopback) follows no redirection
// that leaves loopback: the socket to the other address is never opened.
TEST_F(Transfer, PlainHttpRedirectionOffLoopbackIsNotFollowed)
{
    const std::string other = OwnOtherAddress();
    if (other.empty())
        GTEST_SKIP() << "this machine has no address besides loopback";
    // Where the redirection points: a listener of this test on that address.
    const int away = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    inet_pton(AF_INET, other.c_str(), &sa.sin_addr);
    socklen_t len = sizeof sa;
    ASSERT_EQ(bind(away, reinterpret_cast<sockaddr *>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(away, 4), 0);
    ASSERT_EQ(getsockname(away, reinterpret_cast<sockaddr *>(&sa), &len), 0);
    const std::string target = "http://" + other + ":" + std::to_string(ntohs(sa.sin_port)) + "/file.bin";
    nettest::ScriptedPeer peer([&](int fd) {
        while (true) {
            const std::string line = nettest::recvLine(fd);
            if (line.empty() || line == "\r\n")
                break;
        }
        nettest::sendAll(fd, "HTTP/1.1 302 Found\r\nLocation: " + target + "\r\nContent-Length: 0\r\n\r\n");
    });
    auto conn = wu.OpenInternet();
    const std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/file.bin";
    EXPECT_FALSE(wu.URLGetFile(conn.get(), url, app.path(), false));
    peer.join();
    pollfd p{away, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 200), 0) << "a connection reached " << target;
    close(away);
    EXPECT_EQ(statuses.back().text, "File not found : " + url);
    ExpectUntouched();
}

// ---- FTP ----------------------------------------------------------------

class FtpTransfer : public Transfer {
protected:
    void SetUp() override
    {
        Transfer::SetUp();
        CreateDirBelow("pub");
        testutil::writeFile(root.file("pub/file.bin"), file);
        ftp = std::make_unique<wutest::FtpPeer>(root.path());
        ASSERT_TRUE(ftp->ready());
        wu.UpdateType = TWebUpdateType::ftpUpdate;
        wu.Host = "127.0.0.1";
        wu.Port = ftp->port();
    }
    void CreateDirBelow(const std::string &name) { ASSERT_TRUE(TWebUpdate::CreateDirectoryPath(root.file(name))); }
    std::unique_ptr<wutest::FtpPeer> ftp;
};

TEST_F(FtpTransfer, DownloadFromDirectoryActiveAndPassive)
{
    for (bool passive : {false, true}) {
        testutil::writeFile(app.file("file.bin"), "old contents");
        wu.FTPPassive = passive;
        wu.UserID = passive ? "user" : "";
        wu.Password = passive ? "pass" : "";
        wu.FTPDirectory = "pub";
        wu.FTPDirectorySet = false;
        auto conn = wu.OpenInternet();
        ASSERT_TRUE(wu.ConnectFTP(*conn));
        progress.clear();
        ASSERT_TRUE(wu.URLGetFile(conn.get(), "ftp://anything/file.bin", app.path(), false)) << passive;
        EXPECT_EQ(testutil::readFile(app.file("file.bin")), file);
        EXPECT_TRUE(wu.FTPDirectorySet);
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back().pos, 10000);
        EXPECT_EQ(progress.back().size, 10000);
    }
}

TEST_F(FtpTransfer, MissingFileAndWrongDirectory)
{
    auto conn = wu.OpenInternet();
    ASSERT_TRUE(wu.ConnectFTP(*conn));
    wu.FTPDirectory = "pub";
    EXPECT_FALSE(wu.URLGetFile(conn.get(), "missing.bin", app.path(), false));
    EXPECT_EQ(statuses.back().text, "File not found : missing.bin");
    wu.FTPDirectory = "nowhere";
    EXPECT_FALSE(wu.URLGetFile(conn.get(), "file.bin", app.path(), false));
    EXPECT_EQ(statuses.back().text, "File not found : file.bin");
    ExpectUntouched();
}

// A file larger than it may be is refused from the size the server gives
// before the data come, and the message says so.
TEST_F(FtpTransfer, AFileAnnouncedLargerThanItMayBeIsRefused)
{
    auto conn = wu.OpenInternet();
    ASSERT_TRUE(wu.ConnectFTP(*conn));
    wu.FTPDirectory = "pub";
    progress.clear();
    EXPECT_FALSE(wu.URLGetFile(conn.get(), "file.bin", app.path(), false, {}, 5000));
    std::vector<std::string> errors;
    for (const Status &st : statuses)
        if (st.code == 1)
            errors.push_back(st.text);
    EXPECT_EQ(errors, std::vector<std::string>{TWebUpdate::AnnouncedTooLargeText(-1, 5000, "file.bin")});
    for (const auto &p : progress)
        EXPECT_EQ(p.pos, 0);
    ExpectUntouched();
}

TEST_F(FtpTransfer, WrongLoginOrHostFailsToConnect)
{
    wu.UserID = "user";
    wu.Password = "wrong";
    auto conn = wu.OpenInternet();
    EXPECT_FALSE(wu.ConnectFTP(*conn));
    EXPECT_NE(wu.LastError(), 0);
    wu.Error();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back().code, 1);
    EXPECT_EQ(statuses.back().err, wu.LastError());
}

// ---- file copies ------------------------------------------------------------

TEST_F(Transfer, FileCopyStatusesAndProgress)
{
    wu.UpdateType = TWebUpdateType::fileUpdate;
    testutil::writeFile(root.file("empty.bin"), "");
    const std::string big = wutest::PatternBytes(40000, 9);
    testutil::writeFile(root.file("big.bin"), big);
    struct Case {
        std::string source, target, status;
        int code, err;
    } cases[] = {
        {app.file("file.bin"), app.file("file.bin"), "Equal source and target files : ", 10, 3},
        {root.file("missing.bin"), app.file("file.bin"), "File not found : ", 2, 1},
        {root.file("empty.bin"), app.file("file.bin"), "Zero length source file : ", 10, 2},
    };
    for (const Case &c : cases) {
        statuses.clear();
        EXPECT_FALSE(wu.FileGetFile(c.source, c.target));
        ASSERT_EQ(statuses.size(), 1u);
        EXPECT_EQ(statuses[0].text, c.status + c.source);
        EXPECT_EQ(statuses[0].code, c.code);
        EXPECT_EQ(statuses[0].err, c.err);
    }
    ExpectUntouched();
    // The copy reports the source's name, in blocks of 16384 bytes.
    ASSERT_TRUE(wu.URLGetFile(nullptr, root.file("big.bin"), app.path() + "/", false));
    EXPECT_EQ(testutil::readFile(app.file("big.bin")), big);
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress[0].file, root.file("big.bin"));
    EXPECT_EQ(progress[0].pos, 16384);
    EXPECT_EQ(progress[2].pos, 40000);
    EXPECT_EQ(progress[2].size, 40000);
}

TEST_F(Transfer, FileCopyCancelKeepsOldTarget)
{
    wu.UpdateType = TWebUpdateType::fileUpdate;
    wu.OnProgressCancel = [](TWebUpdate *, bool &cancel) { cancel = true; };
    EXPECT_FALSE(wu.URLGetFile(nullptr, root.file("file.bin"), app.path() + "/", false));
    ExpectUntouched();
}

// A target the user may not write stays as it was (permissions only apply
// to an unprivileged user, so the copy runs in a child without root's rights).
TEST_F(Transfer, ReadOnlyTargetStaysUntouched)
{
    testutil::openToAll(root.path());
    testutil::openToAll(app.path());
    ASSERT_EQ(chmod(app.path().c_str(), 0777), 0);   // the folder is writable, the file is not
    ASSERT_EQ(chmod(app.file("file.bin").c_str(), 0444), 0);
    const std::string result = testutil::runUnprivileged([&] {
        TWebUpdate copier;
        copier.UpdateType = TWebUpdateType::fileUpdate;
        copier.ProcessMessages = [] {};
        std::string told;
        copier.OnStatus = [&](TWebUpdate *, const std::string &t, int32_t c, int32_t) {
            if (c == 1)
                told = t;
        };
        const bool copied = copier.URLGetFile(nullptr, root.file("file.bin"), app.path() + "/", false);
        return std::string(copied ? "copied" : "refused") + " " + told.substr(0, told.find(':'));
    });
    // Refused, and told why.
    EXPECT_EQ(result, "refused Cannot write " + app.file("file.bin"));
    EXPECT_EQ(testutil::readFile(app.file("file.bin")), "old contents");
    EXPECT_EQ(Entries(app.path()), std::vector<std::string>{"file.bin"});
}

} // namespace
