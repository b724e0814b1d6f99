// Helpers, exceptions and the socket stack's platform-independent parts.
#include "netclient/NetComponent.h"
#include "netclient/NetGlobal.h"
#include "netclient/NetStack.h"
#include "platform/Classes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

TEST(NetGlobal, FetchCutsAtTheDelimiter)
{
    std::string s = "a b c";
    EXPECT_EQ(Fetch(s, " "), "a");
    EXPECT_EQ(s, "b c");
    std::string keep = "a b c";
    EXPECT_EQ(Fetch(keep, " ", false), "a");
    EXPECT_EQ(keep, "a b c");
    std::string none = "abc";
    EXPECT_EQ(Fetch(none, ","), "abc");
    EXPECT_EQ(none, "");
    std::string cs = "aXbxc";
    EXPECT_EQ(Fetch(cs, "x"), "aXb");  // case-sensitive
}

TEST(NetGlobal, RPosFindsTheLastOccurrenceIgnoringCase)
{
    EXPECT_EQ(RPos("/", "/a/b"), 3);
    EXPECT_EQ(RPos("AB", "xabyab"), 5);
    EXPECT_EQ(RPos("ab", "xabyab", 4), 2);
    EXPECT_EQ(RPos("q", "abc"), 0);
    EXPECT_EQ(RPos("", "abc"), 0);
    EXPECT_EQ(RPos("abcd", "abc"), 0);
}

TEST(NetGlobal, CommaSeparatedKeepsQuotedCommas)
{
    TStringList l;
    CommaSeparatedToStringList(l, "\"Doe, John\" <j@x.org>, a@b.c");
    ASSERT_EQ(l.Count(), 2);
    EXPECT_EQ(l[0], "\"Doe, John\" <j@x.org>");
    EXPECT_EQ(l[1], "a@b.c");
    CommaSeparatedToStringList(l, "a,, ,b");
    ASSERT_EQ(l.Count(), 2);
    EXPECT_EQ(l[1], "b");
}

TEST(NetGlobal, SmallHelpers)
{
    EXPECT_EQ(PosInStrArray("b", {"a", "b"}), 1);
    EXPECT_EQ(PosInStrArray("B", {"a", "b"}), -1);
    EXPECT_EQ(PosInStrArray("B", {"a", "b"}, false), 1);
    EXPECT_TRUE(IsNumeric('7'));
    EXPECT_FALSE(IsNumeric('x'));
    EXPECT_EQ(Min(3, -2), -2);
    EXPECT_TRUE(TextIsSame("AbC", "aBc"));
}

TEST(NetGlobal, DayAndMonthNames)
{
    EXPECT_EQ(StrToMonth("dec"), 12);
    EXPECT_EQ(StrToMonth("Dez"), 0);
    EXPECT_EQ(StrToDay("sun"), 1);
    EXPECT_EQ(StrToDay("SAT"), 7);
    EXPECT_EQ(StrToDay("xyz"), 0);
}

TEST(NetGlobal, InternetDatesRead)
{
    std::string t = "Tue, 3 Dec 02 10:20:30 +0100";
    Rtl::TDateTime d = RawStrInternetToDateTime(t);
    int y, m, day, h, mi, s, ms;
    Rtl::DecodeDate(d, y, m, day);
    Rtl::DecodeTime(d, h, mi, s, ms);
    EXPECT_EQ(y, 2002);
    EXPECT_EQ(m, 12);
    EXPECT_EQ(day, 3);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(mi, 20);
    EXPECT_EQ(s, 30);
    EXPECT_EQ(t, "+0100");

    std::string t85 = "1 Jan 85";
    Rtl::DecodeDate(RawStrInternetToDateTime(t85), y, m, day);
    EXPECT_EQ(y, 1985);
    std::string bad = "31 Feb 2001";
    EXPECT_EQ(RawStrInternetToDateTime(bad), 0);
    std::string junk = "";
    EXPECT_EQ(RawStrInternetToDateTime(junk), 0);
}

TEST(NetGlobal, GmtOffsets)
{
    EXPECT_EQ(DateTimeToGmtOffsetStr(-5.0 / 24, false), "-0500");
    EXPECT_EQ(DateTimeToGmtOffsetStr(0, true), "GMT");
    EXPECT_EQ(DateTimeToGmtOffsetStr(0, false), "+0000");
    EXPECT_EQ(DateTimeToGmtOffsetStr(5.5 / 24, false), "+0530");
    EXPECT_NEAR(GmtOffsetStrToDateTime("+0130"), 1.5 / 24, 1e-9);
    EXPECT_NEAR(GmtOffsetStrToDateTime(" -0200"), -2.0 / 24, 1e-9);
    EXPECT_EQ(GmtOffsetStrToDateTime("GMT"), 0);
    EXPECT_EQ(GmtOffsetStrToDateTime("+01x0"), 0);
}

TEST(NetGlobal, InternetDatesWrittenAndMovedToLocalTime)
{
    setenv("TZ", "UTC", 1);
    tzset();
    Rtl::TDateTime d = Rtl::EncodeDate(2002, 12, 3) + Rtl::EncodeTime(10, 20, 30, 0);
    EXPECT_EQ(DateTimeToInternetStr(d), "Tue, 3 Dec 2002 10:20:30 +0000");
    EXPECT_NEAR(GMTToLocalDateTime("Tue, 3 Dec 2002 10:20:30 +0100"), d - 1.0 / 24, 1e-7);
    EXPECT_NEAR(GMTToLocalDateTime("Tue, 3 Dec 2002 10:20:30 GMT"), d, 1e-7);
    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_NEAR(OffsetFromUTC(), -5.0 / 24, 1e-9);
    EXPECT_EQ(DateTimeToInternetStr(d), "Tue, 3 Dec 2002 10:20:30 -0500");
    unsetenv("TZ");
    tzset();
}

TEST(NetGlobal, SystemHelpers)
{
    EXPECT_TRUE(InMainThread());
    bool other = true;
    std::thread([&] { other = InMainThread(); }).join();
    EXPECT_FALSE(other);
    std::string tp = TempPath();
    ASSERT_FALSE(tp.empty());
    EXPECT_EQ(tp.back(), '/');
    EXPECT_EQ(AddBackslash("/x/"), "/x/");
    std::string f = MakeTempFilename();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(Rtl::ExtractFileName(f).rfind("Net", 0), 0u);
    EXPECT_TRUE(Rtl::FileExists(f));
    std::remove(f.c_str());
}

TEST(NetExceptions, TreeAndTexts)
{
    ENetConnClosedGracefully closed(NetRes::RSConnectionClosedGracefully);
    EXPECT_NE(dynamic_cast<ENetSilentException *>(&closed), nullptr);
    EXPECT_NE(dynamic_cast<Exception *>(&closed), nullptr);
    ENetCouldNotBindSocket bind(NetRes::RSCouldNotBindSocket);
    EXPECT_NE(dynamic_cast<ENetSocketHandleError *>(&bind), nullptr);
    ENetStackSetSizeExceeded set(NetRes::RSStackSetSizeExceeded);
    EXPECT_NE(dynamic_cast<ENetStackError *>(&set), nullptr);
    ENetSocksAuthError auth(NetRes::RSSocksAuthError);
    EXPECT_NE(dynamic_cast<ENetSocksError *>(&auth), nullptr);
    ENetProtocolReplyError reply(550, "550 no");
    EXPECT_EQ(reply.ReplyErrorCode, 550);
    EXPECT_EQ(reply.Message, "550 no");
    EXPECT_STREQ(reply.ClassName(), "ENetProtocolReplyError");
    // Texts whose blanks and missing full stops matter.
    EXPECT_STREQ(NetRes::RSInterceptPropInvalid, "Intercept value is not valid");
    EXPECT_STREQ(NetRes::RSStackError, "Socket Error # %d\r\n%s");
}

class NetStackTest : public ::testing::Test {
protected:
    struct Holder : TNetComponent {};
    Holder holder;  // keeps the stack alive
    TNetStack &stack() { return *GStack(); }
};

TEST_F(NetStackTest, SocketErrorTexts)
{
    struct Case { int32_t code; const char *text; };
    const Case cases[] = {
        {10061, "Socket Error # 10061\r\nConnection refused."},
        {10035, "Socket Error # 10035\r\nOperation would block. "},
        {10066, "Socket Error # 10066\r\nDirectory not empty"},
        {10058, "Socket Error # 10058\r\nCannot send or receive after socket is closed."},
        {10070, "Socket Error # 10070\r\n"},
        {11001, "Socket Error # 11001\r\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(stack().SocketErrorText(c.code), c.text) << c.code;
}

TEST_F(NetStackTest, ErrnoMapping)
{
    EXPECT_EQ(ErrnoToSocketError(ECONNREFUSED), 10061);
    EXPECT_EQ(ErrnoToSocketError(EPIPE), 10058);
    EXPECT_EQ(ErrnoToSocketError(ECONNRESET), 10054);
    EXPECT_EQ(ErrnoToSocketError(ETIMEDOUT), 10060);
    EXPECT_EQ(ErrnoToSocketError(EADDRINUSE), 10048);
    EXPECT_EQ(ErrnoToSocketError(EWOULDBLOCK), 10035);
}

TEST_F(NetStackTest, AddressesAndResolution)
{
    EXPECT_TRUE(TNetStack::IsIP("10.0.0.1"));
    EXPECT_FALSE(TNetStack::IsIP("1.2.3.4.5"));
    EXPECT_FALSE(TNetStack::IsIP("256.1.1.1"));
    EXPECT_FALSE(TNetStack::IsIP("1.2.3"));
    EXPECT_FALSE(TNetStack::IsIP("1..2.3"));
    EXPECT_FALSE(TNetStack::IsIP("a.b.c.d"));
    EXPECT_EQ(stack().ResolveHost("localhost"), "127.0.0.1");
    EXPECT_EQ(stack().ResolveHost("LocalHost"), "127.0.0.1");
    EXPECT_EQ(stack().ResolveHost("10.0.0.1"), "10.0.0.1");
    uint32_t a = stack().TextToAddress("127.0.0.1");
    EXPECT_EQ(stack().AddressToText(a), "127.0.0.1");
    EXPECT_THROW(stack().TextToAddress("1.x.2.3"), EConvertError);
    // Local names only: the tests never ask a name server.
    EXPECT_EQ(stack().HostByName("localhost"), "127.0.0.1");
}

TEST_F(NetStackTest, ServiceByName)
{
    EXPECT_EQ(stack().ServiceByName("8880"), 8880);
    try {
        stack().ServiceByName("no-such-service");
        FAIL();
    } catch (const ENetInvalidServiceName &e) {
        EXPECT_EQ(e.Message, "no-such-service is not a valid service.");
    }
}

TEST_F(NetStackTest, SelectKeepsTheSetLimit)
{
    TNetSocketList many(65, 0);
    try {
        stack().Select(&many, nullptr, nullptr, 0);
        FAIL();
    } catch (const ENetStackSetSizeExceeded &e) {
        EXPECT_EQ(e.Message, "Set Size Exceeded.");
    }
}

TEST_F(NetStackTest, SelectWorksOnHighSocketNumbers)
{
    // Push a socket beyond the old descriptor-set ceiling of 1024.
    rlimit rl {};
    getrlimit(RLIMIT_NOFILE, &rl);
    if (rl.rlim_cur < 1600) {
        rl.rlim_cur = rl.rlim_max < 1600 ? rl.rlim_max : 1600;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
    if (rl.rlim_cur < 1600)
        GTEST_SKIP() << "descriptor limit too low";
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    int high = fcntl(sv[0], F_DUPFD_CLOEXEC, 1500);
    ASSERT_GE(high, 1024) << "descriptor limit too low";
    TNetSocketList l {high};
    EXPECT_EQ(stack().Select(&l, nullptr, nullptr, 0), 0);
    EXPECT_TRUE(l.empty());
    ASSERT_EQ(write(sv[1], "x", 1), 1);
    l = {high};
    TNetSocketList w {high};
    EXPECT_EQ(stack().Select(&l, &w, nullptr, -2), 2);
    EXPECT_EQ(l, TNetSocketList {high});
    close(high);
    close(sv[0]);
    close(sv[1]);
}
