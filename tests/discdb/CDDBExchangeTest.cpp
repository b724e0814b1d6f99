// The online-database exchange: its texts and parsers, and its lookups and
// server tasks against the scripted server (tests/peers/cddb_peer.py) over
// cddbp and HTTP, directly and through dante-server and microsocks.
#include "discdb/CDDBExchange.h"

#include "CddbPeer.h"
#include "netclient/NetHTTP.h"
#include "netclient/NetTCPClient.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace cddbx;
using discdbtest::CddbPeer;
using discdbtest::RecordingHooks;
using Lines = std::vector<std::string>;

// ---- texts ------------------------------------------------------------------------------

TEST(CddbTexts, CodesHostsPortsTimeOuts)
{
    EXPECT_EQ(ReplyCode("201 ready"), 201);
    EXPECT_EQ(ReplyCode("20"), 0);
    EXPECT_EQ(ReplyCode(""), 0);
    EXPECT_EQ(ReplyCode("<html>"), 0);
    EXPECT_EQ(ReplyCode("-12 x"), 0);
    EXPECT_EQ(HostOf("freedb.freedb.org N000.00 W000.00 Random"), "freedb.freedb.org");
    EXPECT_EQ(HostOf("localhost"), "localhost");
    EXPECT_EQ(PortOf("8080", 80), 8080);
    EXPECT_EQ(PortOf("", 80), 80);
    EXPECT_EQ(PortOf("x1", 8880), 8880);
    EXPECT_EQ(PortOf("70000", 8880), 8880);
    EXPECT_EQ(TimeOutMs("0"), 30000);
    EXPECT_EQ(TimeOutMs("abc"), 30000);
    EXPECT_EQ(TimeOutMs("5"), 5000);
}

TEST(CddbTexts, CommandsAndUrls)
{
    EXPECT_EQ(HelloCommand("joe@example.org", "MIXDECK 2.1"), "cddb hello joe example.org MIXDECK 2.1");
    // No "@": empty user part, so two blanks follow "hello".
    EXPECT_EQ(HelloCommand("joe.example.org", "MIXDECK 2.1"), "cddb hello  joe.example.org MIXDECK 2.1");
    EXPECT_EQ(ProtoCommand(), "proto 4");
    EXPECT_EQ(QueryCommand("1b025603", "3 150 20000 40000 600"), "cddb query 1b025603 3 150 20000 40000 600");
    EXPECT_EQ(ReadCommand("rock", "1b025603"), "cddb read rock 1b025603");
    EXPECT_EQ(HttpCommand(QueryCommand("1b025603", "3 150 20000 40000 600")),
              "cddb+query+1b025603+3+150+20000+40000+600");
    EXPECT_EQ(HttpBase("h.org", 80, "/~cddb/cddb.cgi"), "http://h.org/~cddb/cddb.cgi?cmd=");
    EXPECT_EQ(HttpBase("h.org", 8080, "/cgi"), "http://h.org:8080/cgi?cmd=");
    EXPECT_EQ(HttpHello("joe@example.org", "2.1.0.14(RC1)"), "&hello=joe+example.org+MIXDECK+2.1.0.14(RC1)&proto=4");
    EXPECT_EQ(HttpHello("joe", "2.1"), "&hello=+joe+MIXDECK+2.1&proto=4");
}

TEST(CddbTexts, LinesSplitAtEveryLineEnd)
{
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd\r\n"), (Lines {"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb"), (Lines {"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\nb\nc\n", 2), (Lines {"a", "b"}));
    EXPECT_EQ(ListLines("210 list\r\nrock 1\r\n..x\r\n.\r\n\r\nafter\r\n"), (Lines {"rock 1", "..x"}));
    EXPECT_EQ(ListLines("210 list\r\nrock 1"), (Lines {"rock 1"}));
    EXPECT_TRUE(ListLines("").empty());
}

TEST(CddbTexts, CategoriesAndDiscIdsAreChecked)
{
    EXPECT_TRUE(ValidCategory("rock"));
    EXPECT_TRUE(ValidCategory("newage"));
    for (const char *bad : {"", "Rock", "ro ck", "rock\r\nquit", "../x", "a+b", "rock?cmd=x"})
        EXPECT_FALSE(ValidCategory(bad)) << bad;
    EXPECT_TRUE(ValidDiscId("1b025603"));
    EXPECT_TRUE(ValidDiscId("ABCDEF01"));
    for (const char *bad : {"", "1b02560", "1b0256031", "1b02560g", "1b02 603"})
        EXPECT_FALSE(ValidDiscId(bad)) << bad;
    EXPECT_EQ(CleanText(std::string("a\rb\nc\x01\x7f", 7)), "a b c  ");
}

TEST(CddbTexts, MatchLines)
{
    Match m;
    ASSERT_TRUE(ParseExactMatch("200 rock 1b025603 Some Artist / Some Title", m));
    EXPECT_EQ(m.Category, "rock");
    EXPECT_EQ(m.DiscId, "1b025603");
    EXPECT_EQ(m.Title, "Some Artist / Some Title");
    ASSERT_TRUE(ParseMatchLine("jazz 0a0b0c0d", m));
    EXPECT_EQ(m.Title, "");
    for (const char *bad : {"rock", "Rock 1b025603 T", "rock 1b02560 T", "rock 1b025603xT", "r\rck 1b025603 T"})
        EXPECT_FALSE(ParseMatchLine(bad, m)) << bad;
    const std::vector<Match> list = ParseMatchList({"rock 1b025603 A / B", "bad line", "jazz 0a0b0c0d C / D"});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].Category, "jazz");
    EXPECT_EQ(list[1].Title, "C / D");
}

TEST(CddbTexts, XmcdEntryRules)
{
    const Lines entry {"# xmcd",
                       "# revision: 7",
                       "DTITLE=A very long",
                       "DTITLE= name / X",
                       "TTITLE0=One",
                       "ttitle1=Two",
                       "TTITLE1=\x01more",
                       "EXTD=Line\\nTwo",
                       "EXTT0=x\\ty",
                       "TTITLE10=not a track here"};
    const XmcdEntry e = ParseXmcd(entry, 4);
    EXPECT_TRUE(e.HasRevision);
    EXPECT_EQ(e.Revision, 7);
    EXPECT_EQ(e.Artist, "A very long name");
    EXPECT_EQ(e.Title, "X");
    EXPECT_EQ(e.TrackTitles, (Lines {"One", "Two more", "", ""}));
    EXPECT_EQ(e.ExtTrackTexts[0], "x\\ty");
    EXPECT_EQ(e.ExtDiscText, "Line\\nTwo");

    const XmcdEntry v = ParseXmcd({"DTITLE=  Various  ", "# Revision: x"}, 1);
    EXPECT_FALSE(v.HasRevision);
    EXPECT_EQ(v.Artist, "Various");
    EXPECT_EQ(v.Title, "Various");
    // The number starts at the second character after the colon, whatever
    // the first one is; only the first revision line counts.
    const struct {
        Lines lines;
        bool has;
        int revision;
    } revisions[] = {
        {{"# Revision: 12"}, true, 12},
        {{"# Revision:12"}, true, 2},
        {{"# REVISION:x3"}, true, 3},
        {{"# Revision:1"}, false, 0},
        {{"# Revision:"}, false, 0},
        {{"# Revision: 4", "# Revision: 5"}, true, 4},
        {{"# Revision: x", "# Revision: 5"}, false, 0},
        {{"#  Revision: 4"}, false, 0},
    };
    for (const auto &c : revisions) {
        SCOPED_TRACE(c.lines[0]);
        const XmcdEntry r = ParseXmcd(c.lines, 0);
        EXPECT_EQ(r.HasRevision, c.has);
        if (c.has) {
            EXPECT_EQ(r.Revision, c.revision);
        }
    }
    EXPECT_EQ(ParseXmcd({}, 1000).TrackTitles.size(), size_t(kMaxTracks));
}

TEST(CddbTexts, SitesAndCategories)
{
    const SiteTables t = ParseSites({"a.org cddbp 8880 - N1 W1 Cddbp site", "b.org http 80 /~cddb/cddb.cgi N2 W2 Web",
                                     "c.org CDDBP 888 /cgi N3 W3 Other case", "", "d.org\rcddbp 1 - x"});
    // A control character counts as a blank; none reaches the tables.
    EXPECT_EQ(t.CDDBServerList, (Lines {"a.org N1 W1 Cddbp site", "d.org x"}));
    EXPECT_EQ(t.CDDBPortList, (Lines {"8880", "1"}));
    EXPECT_EQ(t.HTTPServerList, (Lines {"b.org N2 W2 Web", "c.org N3 W3 Other case"}));
    EXPECT_EQ(t.CGIPathList, (Lines {"/~cddb/cddb.cgi", "/cgi"}));
    EXPECT_EQ(t.HTTPPortList, (Lines {"80", "888"}));
    // A short line: the missing words are empty.
    const SiteTables s = ParseSites({"e.org http 81"});
    EXPECT_EQ(s.HTTPServerList, (Lines {"e.org "}));
    EXPECT_EQ(s.CGIPathList, (Lines {""}));
    EXPECT_TRUE(ParseSites({}).empty());
    EXPECT_EQ(CategoryItems({"blues", "rock ", "Bad Word", "x\x01y", "jazz"}), (Lines {" ", " blues", " rock", " jazz"}));
}

TEST(CddbTexts, RefusalMessages)
{
    struct Case {
        Step step;
        int code;
        const char *message;
    } cases[] = {
        {Step::Greeting, 433, "Connection Error: 433 Permission denied. Aborting."},
        {Step::Hello, 431, "Connection Error: 431 No Handshake. Aborting."},
        {Step::Proto, 501, "Connection Error: 501 Protocol level4 not supported"},
        {Step::Query, 202, "Sorry, CD not found on the remote server. Closing."},
        {Step::Query, 403, "There is a problem on the server. Database entry is corrupt. Closing."},
        {Step::Query, 409, "Connection closed by remote server or no handshake. Closing"},
        {Step::Read, 401, "Error, specified CDDB entry not found. Closing."},
        {Step::Read, 402, "Sorry, server error. Closing."},
        {Step::Read, 403, "Sorry, database entry is corrupt. Closing."},
        {Step::Read, 409, "Error, no handshake. Closing."},
        {Step::Query, 500, ""},
        {Step::Greeting, 200, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(RefusalMessage(c.step, c.code), c.message) << c.code;
    EXPECT_EQ(RefusalMessage(Step::Proto, 501, true), "Connection Error: 501 Protocol level4 not supported.");
}

// ---- lookups against the scripted server ------------------------------------------------

// One scripted server of the mode for the whole suite, its script reset for each test.
template <bool Http>
class PeerSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { peer_ = new CddbPeer(Http ? "http" : "cddbp"); }
    static void TearDownTestSuite()
    {
        delete peer_;
        peer_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(peer_->ready());
        peer_->script("{}");
        peer_->clear();
    }
    static CddbPeer *peer_;
};
template <bool Http>
CddbPeer *PeerSuite<Http>::peer_ = nullptr;

class CddbpLookupTest : public PeerSuite<false> {
protected:
    LookupResult run(RecordingHooks &hooks)
    {
        return CddbpLookup(client_, peer_->settings(false), discdbtest::peerDisc(), hooks);
    }
    TNetTCPClient client_;
};

TEST_F(CddbpLookupTest, ExactMatchRunsTheWholeDialogue)
{
    RecordingHooks hooks;
    const LookupResult r = run(hooks);
    ASSERT_EQ(r.Kind, Outcome::Found);
    EXPECT_EQ(peer_->received(), (Lines {"C: cddb hello user example.org MIXDECK 2.1.0.14(RC1)", "C: proto 4",
                                         "C: cddb query 1b025603 3 150 20000 40000 600", "C: cddb read rock 1b025603",
                                         "C: quit"}));
    EXPECT_EQ(r.Category, "rock");
    EXPECT_TRUE(r.QueryAnswered);
    EXPECT_TRUE(r.ReadAnswered);
    EXPECT_EQ(r.Entry.Artist, "Some Artist");
    EXPECT_EQ(r.Entry.Title, "Some Title");
    EXPECT_EQ(r.Entry.Revision, 7);
    EXPECT_EQ(r.Entry.TrackTitles, (Lines {"First Song", "Second Song", "Third Song"}));
    EXPECT_EQ(r.Entry.ExtDiscText, "Disc notes\\nsecond line");
    EXPECT_TRUE(r.QuitReply.empty());
    EXPECT_EQ(hooks.statuses.front(), "Connecting to 127.0.0.1 via cddbp protocol...");
    EXPECT_EQ(hooks.statuses.back(), "");
    EXPECT_FALSE(client_.Connected());
}

// Each reply the dialogue can meet, and where it ends. The commands the
// server received tell that refusals and unexpected replies end with quit.
TEST_F(CddbpLookupTest, EveryReplyCodeEndsItsOwnWay)
{
    struct Case {
        const char *script;
        Outcome kind;
        Step at;
        const char *message;
        const char *lastCommand;
    } cases[] = {
        {R"({"greeting": "432 No connections allowed: permission denied"})", Outcome::Refused, Step::Greeting,
         "Connection Error: 432 Permission denied. Aborting.", "C: quit"},
        {R"({"greeting": "434 No connections allowed: system load too high"})", Outcome::Refused, Step::Greeting,
         "Connection Error: 434 Permission denied. Aborting.", "C: quit"},
        {R"({"greeting": "20"})", Outcome::Unexpected, Step::Greeting, "20", "C: quit"},
        {R"({"greeting": "500 who are you"})", Outcome::Unexpected, Step::Greeting, "500 who are you", "C: quit"},
        {R"({"reply": {"hello": ["431 Handshake not successful"]}})", Outcome::Refused, Step::Hello,
         "Connection Error: 431 No Handshake. Aborting.", "C: quit"},
        {R"({"reply": {"hello": ["402 Already shook hands"]}})", Outcome::Found, Step::Read, "", "C: quit"},
        {R"({"reply": {"hello": ["500 Syntax error"]}})", Outcome::Unexpected, Step::Hello, "500 Syntax error",
         "C: quit"},
        {R"({"reply": {"proto": ["501 Illegal protocol level."]}})", Outcome::Refused, Step::Proto,
         "Connection Error: 501 Protocol level4 not supported", "C: quit"},
        {R"({"reply": {"proto": ["502 Protocol level already 4"]}})", Outcome::Found, Step::Read, "", "C: quit"},
        {R"({"reply": {"proto": ["200 CDDB protocol level: current 4, supported 6"]}})", Outcome::Found, Step::Read,
         "", "C: quit"},
        {R"({"reply": {"proto": ["599 what"]}})", Outcome::Unexpected, Step::Proto, "599 what", "C: quit"},
        {R"({"reply": {"query": ["202 No match"]}})", Outcome::Refused, Step::Query,
         "Sorry, CD not found on the remote server. Closing.", "C: quit"},
        {R"({"reply": {"query": ["403 Database entry is corrupt"]}})", Outcome::Refused, Step::Query,
         "There is a problem on the server. Database entry is corrupt. Closing.", "C: quit"},
        {R"({"reply": {"query": ["409 No handshake"]}})", Outcome::Refused, Step::Query,
         "Connection closed by remote server or no handshake. Closing", "C: quit"},
        {R"({"reply": {"query": ["500 Command syntax error"]}})", Outcome::Unexpected, Step::Query,
         "500 Command syntax error", "C: quit"},
        // A category that is no lower-case word never reaches a read command.
        {R"({"reply": {"query": ["200 Rock+x 1b025603 A / B"]}})", Outcome::Unexpected, Step::Query,
         "200 Rock+x 1b025603 A / B", "C: quit"},
        {R"({"reply": {"read": ["401 Specified CDDB entry not found."]}})", Outcome::Refused, Step::Read,
         "Error, specified CDDB entry not found. Closing.", "C: quit"},
        {R"({"reply": {"read": ["402 Server error."]}})", Outcome::Refused, Step::Read, "Sorry, server error. Closing.",
         "C: quit"},
        {R"({"reply": {"read": ["403 Database entry is corrupt."]}})", Outcome::Refused, Step::Read,
         "Sorry, database entry is corrupt. Closing.", "C: quit"},
        {R"({"reply": {"read": ["409 No handshake."]}})", Outcome::Refused, Step::Read, "Error, no handshake. Closing.",
         "C: quit"},
        {R"({"reply": {"read": ["599 odd"]}})", Outcome::Unexpected, Step::Read, "599 odd", "C: quit"},
        // The connection fails: closed without quit.
        {R"({"close": "query"})", Outcome::Failed, Step::Query, "", "C: cddb query 1b025603 3 150 20000 40000 600"},
        {R"({"reply": {"read": "210 rock 1b025603 entry follows\r\nDTITLE=A / B\r\n"}, "hangup": "read"})",
         Outcome::Failed, Step::Read, "", "C: cddb read rock 1b025603"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        peer_->script(c.script);
        peer_->clear();
        RecordingHooks hooks;
        const LookupResult r = run(hooks);
        EXPECT_EQ(r.Kind, c.kind);
        EXPECT_EQ(r.At, c.at);
        EXPECT_EQ(r.Message, c.message);
        const Lines got = peer_->received();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), c.lastCommand);
        EXPECT_EQ(hooks.statuses.back(), "");
        EXPECT_FALSE(client_.Connected());
    }
}

TEST_F(CddbpLookupTest, QuitAnsweredOddlyIsReported)
{
    peer_->script(R"({"reply": {"quit": ["530 not now"]}})");
    RecordingHooks hooks;
    const LookupResult r = run(hooks);
    EXPECT_EQ(r.Kind, Outcome::Found);
    EXPECT_EQ(r.QuitReply, "530 not now");
    EXPECT_FALSE(client_.Connected());
}

TEST_F(CddbpLookupTest, ChooserPicksOrCancels)
{
    peer_->script(R"({"reply": {"query": ["211 close matches found", "rock 1b025603 A / B", "bad", "jazz 0a0b0c0d C / D", "."]}})");
    RecordingHooks hooks;
    hooks.choice = 1;
    LookupResult r = run(hooks);
    ASSERT_EQ(r.Kind, Outcome::Found);
    ASSERT_EQ(hooks.offered.size(), 1u);
    ASSERT_EQ(hooks.offered[0].size(), 2u);
    EXPECT_EQ(hooks.offered[0][0].Title, "A / B");
    EXPECT_EQ(hooks.offered[0][1].Category, "jazz");
    EXPECT_EQ(r.Category, "jazz");
    Lines got = peer_->received();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[3], "C: cddb read jazz 0a0b0c0d");

    // Cancel, or an answer past the last match: no read and no quit, the
    // connection closed.
    for (const int choice : {-1, 2, 3}) {
        SCOPED_TRACE(choice);
        peer_->clear();
        RecordingHooks none;
        none.choice = choice;
        r = run(none);
        EXPECT_EQ(r.Kind, Outcome::NoChoice);
        EXPECT_EQ(r.MatchCount, 2);
        got = peer_->received();
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got.back(), "C: cddb query 1b025603 3 150 20000 40000 600");
        EXPECT_FALSE(client_.Connected());
        EXPECT_EQ(none.statuses.back(), "");
    }
}

TEST_F(CddbpLookupTest, GreetingSplitOverTwoReceivesIsOneLine)
{
    peer_->script(R"({"split_greeting": true})");
    RecordingHooks hooks;
    const LookupResult r = run(hooks);
    EXPECT_EQ(r.Kind, Outcome::Found);
    ASSERT_GE(hooks.statuses.size(), 2u);
    EXPECT_EQ(hooks.statuses[1], "201 cddb_peer CDDBP server v1.0 ready at now");
    EXPECT_EQ(peer_->received().front(), "C: cddb hello user example.org MIXDECK 2.1.0.14(RC1)");
}

// A server that goes silent: the time-out ends the wait (without spinning)
// and the exchange ends as a failure.
TEST_F(CddbpLookupTest, SilentServerTimesOut)
{
    for (const char *where : {"greeting", "hello", "query"}) {
        SCOPED_TRACE(where);
        peer_->script(std::string(R"({"silent": ")") + where + "\"}");
        cddbx::Settings s = peer_->settings(false);
        s.TimeOutMs = 1000;
        RecordingHooks hooks;
        const double cpu0 = nettest::cpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const LookupResult r = CddbpLookup(client_, s, discdbtest::peerDisc(), hooks);
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_EQ(r.Kind, Outcome::Failed);
        EXPECT_GE(secs, 0.9);
        EXPECT_LT(secs, 8.0);
        EXPECT_LT(nettest::cpuSeconds() - cpu0, 0.5);
        EXPECT_FALSE(client_.Connected());
        EXPECT_EQ(hooks.statuses.back(), "");
    }
}

TEST_F(CddbpLookupTest, ConnectionRefusedFailsAtConnect)
{
    cddbx::Settings s = peer_->settings(false);
    const nettest::ClosedPort closed;
    s.CDDBPort = closed.port();
    RecordingHooks hooks;
    const LookupResult r = CddbpLookup(client_, s, discdbtest::peerDisc(), hooks);
    EXPECT_EQ(r.Kind, Outcome::ConnectFailed);
    EXPECT_EQ(r.At, Step::Connect);
    EXPECT_EQ(hooks.statuses.back(), "");
}

// 10 MB of list lines: the bound ends the capture long before, as a failure.
TEST_F(CddbpLookupTest, FloodedListIsBounded)
{
    peer_->script(R"({"flood": {"key": "query", "bytes": 10485760}})");
    RecordingHooks hooks;
    const auto t0 = std::chrono::steady_clock::now();
    const LookupResult r = run(hooks);
    EXPECT_EQ(r.Kind, Outcome::Failed);
    EXPECT_TRUE(hooks.offered.empty());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 8.0);
    EXPECT_FALSE(client_.Connected());
}

// ---- the options window's tasks over cddbp ----------------------------------------------

TEST_F(CddbpLookupTest, ServerTasksLogEveryStep)
{
    RecordingHooks test;
    ServerResult r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Test, test);
    EXPECT_EQ(r.Kind, Outcome::Found);
    const std::string port = std::to_string(peer_->port());
    EXPECT_EQ(test.logs, (Lines {"Initiating connection to 127.0.0.1 N000.00 W000.00 Test server on port " + port + "...",
                                 "", "Server responding...", "201 cddb_peer CDDBP server v1.0 ready at now",
                                 "Handshaking...", "200 Hello and welcome, running cddb_peer", "", "Disconnected."}));
    EXPECT_EQ(peer_->received().back(), "C: quit");

    RecordingHooks sites;
    r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Sites, sites);
    EXPECT_EQ(r.Kind, Outcome::Found);
    ASSERT_TRUE(r.HaveSites);
    EXPECT_EQ(r.Sites.CDDBServerList, (Lines {"cddb.example.org N000.00 W000.00 Example cddbp server"}));
    EXPECT_EQ(r.Sites.HTTPServerList.size(), 2u);
    const Lines sitesTail(sites.logs.begin() + 6, sites.logs.end());
    EXPECT_EQ(sitesTail, (Lines {"", "Setting protocol level to 4", "201 OK, CDDB protocol level now: 4", "",
                                 "Getting updated sites list...",
                                 "210 OK, site information follows (until terminating `.')",
                                 "cddb.example.org cddbp 8880 - N000.00 W000.00 Example cddbp server",
                                 "cddb.example.org http 80 /~cddb/cddb.cgi N000.00 W000.00 Example HTTP server",
                                 "other.example.org CDDBP 888 /cgi N001.00 W001.00 Other case", "", "Disconnected."}));

    RecordingHooks categs;
    r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Categories, categs);
    ASSERT_TRUE(r.HaveCategories);
    EXPECT_EQ(r.Categories.front(), " ");
    EXPECT_EQ(r.Categories[1], " blues");
    EXPECT_EQ(r.Categories.size(), 12u);
    EXPECT_EQ(categs.logs[10], "Getting updated category list...");
    EXPECT_EQ(peer_->received().back(), "C: quit");
    EXPECT_FALSE(client_.Connected());
}

TEST_F(CddbpLookupTest, ServerTaskRefusalsAndHostileLists)
{
    // "sites" 401: the tables stay, quit follows, no box.
    peer_->script(R"({"reply": {"sites": ["401 No site information available."]}})");
    RecordingHooks h1;
    ServerResult r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Sites, h1);
    EXPECT_EQ(r.Kind, Outcome::Refused);
    EXPECT_FALSE(r.HaveSites);
    EXPECT_EQ(peer_->received().back(), "C: quit");

    // An empty site list never empties the tables.
    peer_->script(R"({"reply": {"sites": ["210 OK", "."]}})");
    RecordingHooks h2;
    r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Sites, h2);
    EXPECT_EQ(r.Kind, Outcome::Found);
    EXPECT_FALSE(r.HaveSites);

    // CR LF and a lone CR inside category lines: split; a list with lines
    // that are not categories is refused whole, naming the first of them.
    peer_->script(R"({"reply": {"lscat": "210 OK\r\nro\rck\r\nbad cat\r\nJazz\r\nfolk\r\n.\r\n"}})");
    RecordingHooks h3;
    r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Categories, h3);
    EXPECT_FALSE(r.HaveCategories);
    EXPECT_EQ(r.Kind, Outcome::Unexpected);
    EXPECT_EQ(r.Message, "The server's category list was not taken, the one you have stays: 2 of its 5 lines are "
                         "not categories, the first of them:\nbad cat");
    EXPECT_EQ(peer_->received().back(), "C: quit");
    peer_->script(R"({"reply": {"lscat": "210 OK\r\nro\rck\r\n  \r\nfolk\r\n.\r\n"}})");
    RecordingHooks h3b;
    r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Categories, h3b);
    ASSERT_TRUE(r.HaveCategories);
    EXPECT_EQ(r.Categories, (Lines {" ", " ro", " ck", " folk"}));

    // 10 MB of list lines: a failure, nothing taken.
    peer_->script(R"({"flood": {"key": "lscat", "bytes": 10485760}})");
    RecordingHooks h4;
    r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Categories, h4);
    EXPECT_EQ(r.Kind, Outcome::Failed);
    EXPECT_FALSE(r.HaveCategories);
    EXPECT_FALSE(client_.Connected());

    // An unexpected greeting: reported, then quit.
    peer_->script(R"({"greeting": "hello there"})");
    peer_->clear();
    RecordingHooks h5;
    r = CddbpServerTask(client_, peer_->settings(false), ServerTask::Test, h5);
    EXPECT_EQ(r.Kind, Outcome::Unexpected);
    EXPECT_EQ(r.Message, "hello there");
    EXPECT_EQ(peer_->received(), (Lines {"C: quit"}));
}

// ---- HTTP -------------------------------------------------------------------------------

class HttpLookupTest : public PeerSuite<true> {
protected:
    LookupResult run(RecordingHooks &hooks, const cddbx::Settings &s)
    {
        return HttpLookup(client_, s, discdbtest::peerDisc(), hooks);
    }
    LookupResult run(RecordingHooks &hooks) { return run(hooks, peer_->settings(true)); }
    std::string hello() const { return "&hello=user+example.org+MIXDECK+2.1.0.14(RC1)&proto=4"; }
    TNetHTTP client_;
};

TEST_F(HttpLookupTest, RequestFormOfALookup)
{
    RecordingHooks hooks;
    const LookupResult r = run(hooks);
    ASSERT_EQ(r.Kind, Outcome::Found);
    const std::string host = "H: Host: 127.0.0.1";
    const Lines headers {host, "H: Accept: text/html, */*", "H: User-Agent: Mozilla/3.0 (compatible; Net Library)",
                         "H: Content-Type: text/html; charset=ISO-8859-1"};
    Lines expected {"C: GET /~cddb/cddb.cgi?cmd=cddb+query+1b025603+3+150+20000+40000+600" + hello() + " HTTP/1.1"};
    expected.insert(expected.end(), headers.begin(), headers.end());
    expected.push_back("C: GET /~cddb/cddb.cgi?cmd=cddb+read+rock+1b025603" + hello() + " HTTP/1.1");
    expected.insert(expected.end(), headers.begin(), headers.end());
    EXPECT_EQ(peer_->received(), expected);
    EXPECT_EQ(r.Entry.Artist, "Some Artist");
    EXPECT_EQ(r.Entry.TrackTitles[2], "Third Song");
    EXPECT_EQ(hooks.connected, 2);
    EXPECT_EQ(hooks.statuses.front(), "Connecting to 127.0.0.1 via http protocol...");
    EXPECT_EQ(hooks.statuses.back(), "");
}

TEST_F(HttpLookupTest, EveryReplyCodeEndsItsOwnWay)
{
    struct Case {
        const char *script;
        Outcome kind;
        Step at;
        const char *message;
    } cases[] = {
        {R"({"reply": {"query": ["202 No match"]}})", Outcome::Refused, Step::Query,
         "Sorry, CD not found on the remote server. Closing."},
        {R"({"reply": {"query": ["403 corrupt"]}})", Outcome::Refused, Step::Query,
         "There is a problem on the server. Database entry is corrupt. Closing."},
        {R"({"reply": {"query": ["409 no handshake"]}})", Outcome::Refused, Step::Query,
         "Connection closed by remote server or no handshake. Closing"},
        {R"({"reply": {"query": "<html>\r\n<body>hi</body>\r\n"}})", Outcome::Unexpected, Step::Query,
         "<html>\r\n<body>hi</body>\r\n"},
        {R"({"reply": {"read": ["401 not found"]}})", Outcome::Refused, Step::Read,
         "Error, specified CDDB entry not found. Closing."},
        {R"({"reply": {"read": ["402 error"]}})", Outcome::Refused, Step::Read, "Sorry, server error. Closing."},
        {R"({"reply": {"read": ["403 corrupt"]}})", Outcome::Refused, Step::Read,
         "Sorry, database entry is corrupt. Closing."},
        {R"({"reply": {"read": ["409 no"]}})", Outcome::Refused, Step::Read, "Error, no handshake. Closing."},
        {R"({"reply": {"read": ["500 what", "more"]}})", Outcome::Unexpected, Step::Read, "500 what\r\nmore\r\n"},
        {R"({"http_status": 404})", Outcome::Failed, Step::Query, ""},
        {R"({"close": "read"})", Outcome::Failed, Step::Read, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        peer_->script(c.script);
        RecordingHooks hooks;
        const LookupResult r = run(hooks);
        EXPECT_EQ(r.Kind, c.kind);
        EXPECT_EQ(r.At, c.at);
        EXPECT_EQ(r.Message, c.message);
        EXPECT_EQ(hooks.statuses.back(), "");
    }
}

TEST_F(HttpLookupTest, ChooserListAndSilence)
{
    peer_->script(R"({"reply": {"query": ["210 Found exact matches", "rock 1b025603 A / B", "misc 1b025603 E / F", "."]}})");
    RecordingHooks hooks;
    hooks.choice = 1;
    LookupResult r = run(hooks);
    ASSERT_EQ(r.Kind, Outcome::Found);
    ASSERT_EQ(hooks.offered.size(), 1u);
    EXPECT_EQ(hooks.offered[0].size(), 2u);
    EXPECT_EQ(peer_->received()[5], "C: GET /~cddb/cddb.cgi?cmd=cddb+read+misc+1b025603" + hello() + " HTTP/1.1");

    RecordingHooks cancel;
    cancel.choice = -1;
    r = run(cancel);
    EXPECT_EQ(r.Kind, Outcome::NoChoice);

    peer_->script(R"({"silent": "query"})");
    cddbx::Settings s = peer_->settings(true);
    s.TimeOutMs = 1000;
    RecordingHooks silent;
    const auto t0 = std::chrono::steady_clock::now();
    r = run(silent, s);
    EXPECT_EQ(r.Kind, Outcome::Failed);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 8.0);

    // 10 MB body: refused by the bound.
    peer_->script(R"({"flood": {"key": "query", "bytes": 10485760}})");
    RecordingHooks flood;
    r = run(flood);
    EXPECT_EQ(r.Kind, Outcome::Failed);
}

TEST_F(HttpLookupTest, ThroughSocksProxies)
{
    nettest::DantePeer dante(peer_->port());
    if (!dante.ready())
        GTEST_SKIP() << "dante-server did not start";
    // (The dante set-up relays to an address only, so SOCKS 4A, which sends a
    // host name, is left to the networking tests.)
    for (TSocksVersion v : {svSocks4, svSocks5}) {
        SCOPED_TRACE(int(v));
        cddbx::Settings s = peer_->settings(true);
        s.Socks.Version = v;
        s.Socks.Host = "127.0.0.1";
        s.Socks.Port = dante.port();
        peer_->clear();
        RecordingHooks hooks;
        EXPECT_EQ(run(hooks, s).Kind, Outcome::Found);
        EXPECT_EQ(peer_->connections(), 2);
    }
    if (!testutil::fileExists("/usr/bin/microsocks"))
        GTEST_SKIP() << "microsocks is not installed";
    nettest::MicrosocksPeer micro;
    ASSERT_TRUE(micro.ready());
    cddbx::Settings s = peer_->settings(true);
    s.Socks.Version = svSocks5;
    s.Socks.Host = "127.0.0.1";
    s.Socks.Port = micro.port();
    RecordingHooks hooks;
    EXPECT_EQ(run(hooks, s).Kind, Outcome::Found);
    // A proxy that is not there: a failure.
    const nettest::ClosedPort closed;
    s.Socks.Port = closed.port();
    RecordingHooks none;
    EXPECT_EQ(run(none, s).Kind, Outcome::Failed);
}

TEST_F(HttpLookupTest, ServerTasksLogEveryStep)
{
    const std::string first = "Initiating connection to 127.0.0.1 N000.00 W000.00 Test server on port " +
                              std::to_string(peer_->port()) + "...";
    RecordingHooks test;
    ServerResult r = HttpServerTask(client_, peer_->settings(true), ServerTask::Test, test);
    EXPECT_EQ(r.Kind, Outcome::Found);
    EXPECT_EQ(test.logs, (Lines {first, "", "Server responding...",
                                 "210 Last modified: 01/01/26 00:00:00 MOTD follows (until terminating `.')",
                                 "Welcome to the test server.", ".", "Handshake successful...", "Disconnected."}));
    EXPECT_EQ(peer_->received()[0], "C: GET /~cddb/cddb.cgi?cmd=motd" + hello() + " HTTP/1.1");

    peer_->clear();
    RecordingHooks sites;
    r = HttpServerTask(client_, peer_->settings(true), ServerTask::Sites, sites);
    ASSERT_TRUE(r.HaveSites);
    EXPECT_EQ(r.Sites.HTTPServerList, (Lines {"cddb.example.org N000.00 W000.00 Example HTTP server",
                                              "other.example.org N001.00 W001.00 Other case"}));
    EXPECT_EQ(r.Sites.HTTPPortList, (Lines {"80", "888"}));
    EXPECT_EQ(sites.logs[3], "Getting updated sites list...");
    EXPECT_EQ(sites.logs[sites.logs.size() - 2], "Sites list downloaded successfully...");
    EXPECT_EQ(peer_->received()[0], "C: GET /~cddb/cddb.cgi?cmd=sites+" + hello() + " HTTP/1.1");

    peer_->clear();
    RecordingHooks categs;
    r = HttpServerTask(client_, peer_->settings(true), ServerTask::Categories, categs);
    ASSERT_TRUE(r.HaveCategories);
    EXPECT_EQ(r.Categories.size(), 12u);
    EXPECT_EQ(r.Categories.back(), " soundtrack");
    EXPECT_EQ(categs.logs[3], "Getting updated category list...");
    EXPECT_EQ(peer_->received()[0], "C: GET /~cddb/cddb.cgi?cmd=cddb+lscat+" + hello() + " HTTP/1.1");

    // No message of the day: the reply goes to the error box, then "Disconnected.".
    peer_->script(R"({"reply": {"motd": ["401 No message of the day."]}})");
    RecordingHooks motd;
    r = HttpServerTask(client_, peer_->settings(true), ServerTask::Test, motd);
    EXPECT_EQ(r.Kind, Outcome::Unexpected);
    EXPECT_EQ(r.Message, "401 No message of the day.\r\n");
    EXPECT_EQ(motd.logs.back(), "Disconnected.");

    peer_->script(R"({"reply": {"sites": ["401 No site information available."]}})");
    RecordingHooks nosites;
    r = HttpServerTask(client_, peer_->settings(true), ServerTask::Sites, nosites);
    EXPECT_EQ(r.Kind, Outcome::Refused);
    EXPECT_FALSE(r.HaveSites);

    peer_->script(R"({"http_status": 404})");
    RecordingHooks missing;
    r = HttpServerTask(client_, peer_->settings(true), ServerTask::Categories, missing);
    EXPECT_EQ(r.Kind, Outcome::ConnectFailed);
}

TEST(CddbTexts, SettingsOfTheSelectedServer)
{
    cddbopts::CDDBOptions o = cddbopts::DefaultOptions();
    o.CDDBServerList = {"a.org N1 W1 First", "b.org N2 W2 Second"};
    o.CDDBPortList = {"8880", "888"};
    o.HTTPServerList = {"h.org N1 W1 Web"};
    o.CGIPathList = {"/cgi"};
    o.HTTPPortList = {""};
    o.ServerToUse = 1;
    o.TimeOut = "0";
    o.UseProxy = true;
    o.SocksVer = "SOCKS v4.0A";
    o.ProxyAddress = "proxy.org";
    o.ProxyPort = "";
    o.UseProxyAuth = true;
    o.Username = "joe";
    o.Password = "secret";
    Settings s = SettingsFromOptions(o, "MIXDECK 2.1", "2.1");
    EXPECT_FALSE(s.UseHTTP);
    EXPECT_EQ(s.ServerEntry, "b.org N2 W2 Second");
    EXPECT_EQ(s.Host, "b.org");
    EXPECT_EQ(s.CDDBPort, 888);
    EXPECT_EQ(s.TimeOutMs, 30000);
    EXPECT_EQ(s.Socks.Version, svSocks4A);
    EXPECT_EQ(s.Socks.Host, "proxy.org");
    EXPECT_EQ(s.Socks.Port, 8080);
    EXPECT_EQ(s.Socks.Authentication, saUsernamePassword);
    EXPECT_EQ(s.Socks.UserID, "joe");
    EXPECT_EQ(s.Socks.Password, "secret");

    // HTTP: the one server, port 80 for an empty port; a proxy that uses no
    // SOCKS, or no proxy, goes straight to the host; no authentication unticked.
    o.UseHTTP = true;
    o.ServerToUse = 0;
    o.SocksVer = "Not use SOCKS";
    o.UseProxyAuth = false;
    s = SettingsFromOptions(o, "MIXDECK 2.1", "2.1");
    EXPECT_EQ(s.Host, "h.org");
    EXPECT_EQ(s.HTTPPort, 80);
    EXPECT_EQ(s.CGIPath, "/cgi");
    EXPECT_EQ(s.Socks.Version, svNoSocks);
    EXPECT_EQ(s.Socks.Authentication, saNoAuthentication);
    o.UseProxy = false;
    o.SocksVer = "SOCKS v5.0";
    EXPECT_EQ(SettingsFromOptions(o, "", "").Socks.Version, svNoSocks);
}

// The edges of the small texts: every code below 32 is a control
// character, each of the three digits of a reply code counts, and port 0
// is no port.
TEST(CddbTexts, EdgesOfCodesPortsAndControlCharacters)
{
    struct { const char *text; int code; } codes[] = {
        {"2x0 odd", 0}, {"20x odd", 0}, {"x00 odd", 0}, {"210 ok", 210}, {"999", 999},
    };
    for (auto &c : codes)
        EXPECT_EQ(ReplyCode(c.text), c.code) << c.text;
    struct { const char *text; int port; } ports[] = {
        {"0", 80}, {"1", 1}, {"65535", 65535}, {"65536", 80}, {" 81 ", 81}, {"-1", 80},
    };
    for (auto &p : ports)
        EXPECT_EQ(PortOf(p.text, 80), p.port) << p.text;
    EXPECT_EQ(CleanText(std::string("a\x1f" "b\x20" "c\x7f" "d\x1e", 8)), "a b c d ");
}

// A server test answered 402 or 431 is a quiet refusal: no error box.
TEST_F(HttpLookupTest, ServerTestAnswered402Or431IsAQuietRefusal)
{
    for (const char *reply : {"402 No MOTD, try again later.", "431 Handshake not successful, closing connection."}) {
        peer_->script(std::string(R"({"reply": {"motd": [")") + reply + R"("]}})");
        RecordingHooks hooks;
        const ServerResult r = HttpServerTask(client_, peer_->settings(true), ServerTask::Test, hooks);
        EXPECT_EQ(r.Kind, Outcome::Refused) << reply;
        EXPECT_EQ(r.Message, "") << reply;
    }
}
