// Disc identification over READ TOC fixtures, the ASPI-shaped layer with its
// simulated and Linux backends, and the time limit of a command.
#include "DiscdbTestUtil.h"

#include "discdb/DiscId.h"
#include "platform/Aspi.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <cstring>
#include <sstream>
#include <thread>

namespace {

discid::TocResult computeFixture(const std::string &name)
{
    const std::string bytes = discdbtest::fixture(name);
    return discid::Compute(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

std::vector<std::string> times(const discid::TocResult &r)
{
    std::vector<std::string> t;
    for (const TTracksInfos &i : r.Tracks)
        t.push_back(i.TrackTime);
    return t;
}

struct TocCase {
    const char *fixture;
    const char *pid;
    const char *discid;
    const char *query;
    const char *tpt;
    int tracks, audio, data, listed;
    std::vector<std::string> times;  // empty: not checked here
};

const std::vector<TocCase> &cases()
{
    static const std::vector<TocCase> c = {
        {"example", "00000000000D2C3D", "20033a03", "3 150 20796 40915 828", "13:48", 3, 3, 0, 3,
         {"04:35", "04:28", "04:43"}},
        {"example_data3", "0000000000042715", "20033a03", "3 150 20796 40915 828", "13:48", 3, 2, 1, 2,
         {"04:35", "01:58", "--:--"}},
        // The data track's start counts in the id and the query, not in the PID.
        {"data_first", "0000000000481E0F", "20075104", "4 150 90000 110260 126005 1875", "31:15", 4, 3, 1, 4,
         {"--:--", "04:30", "03:30", "03:15"}},
        // The last audio track loses 150 seconds before the data session.
        {"data_last", "00000000000A2B52", "16095e04", "4 150 16512 31645 54000 2400", "40:00", 4, 3, 1, 3,
         {"03:38", "03:21", "02:29", "--:--"}},
        // 60 seconds less 150 would be negative.
        {"short_before_data", "0000000000000200", "0a070602", "2 150 4650 1800", "30:00", 2, 1, 1, 1,
         {"00:00", "--:--"}},
        {"single", "0000000000000200", "02117701", "1 150 4473", "74:33", 1, 1, 0, 1, {"74:31"}},
        {"over80", "0000000000030200", "0b182702", "2 150 13500 6185", "103:05", 2, 2, 0, 2, {"02:58", "100:05"}},
        {"id00", "0000000002B54200", "000fa216", nullptr, "66:44", 22, 22, 0, 22, {}},
        {"example_in_queue", "0000000000030C11", "0c016602", "2 150 14267 360", "06:00", 2, 2, 0, 2,
         {"03:08", "02:50"}},
        // What a failed read leaves: a cleared area.
        {"zero", "0000000000000000", "00000000", "0 0", "00:00", 0, 0, 0, 0, {}},
    };
    return c;
}

TEST(DiscIdCompute, FixturesGiveTheirIdentifiers)
{
    for (const TocCase &c : cases()) {
        SCOPED_TRACE(c.fixture);
        const discid::TocResult r = computeFixture(c.fixture);
        EXPECT_EQ(r.CDPID, c.pid);
        EXPECT_EQ(r.CDDBDiscId, c.discid);
        if (c.query) {
            EXPECT_EQ(r.CDDBQueryCmd, c.query);
        }
        EXPECT_EQ(r.TPT, c.tpt);
        EXPECT_EQ(r.TotalTracks, c.tracks);
        EXPECT_EQ(r.TotalAudioTracks, c.audio);
        EXPECT_EQ(r.TotalDataTracks, c.data);
        EXPECT_EQ(r.ListedTracks, c.listed);
        if (!c.times.empty()) {
            EXPECT_EQ(times(r), c.times);
        }
    }
}

TEST(DiscIdCompute, NinetyNineTracks)
{
    const discid::TocResult r = computeFixture("tracks99");
    EXPECT_EQ(r.TotalTracks, 99);
    EXPECT_EQ(r.TotalAudioTracks, 99);
    EXPECT_EQ(r.Tracks.front().TrackTime, "00:45");
    EXPECT_EQ(r.Tracks.back().TrackTime, "00:45");
    EXPECT_EQ(r.CDDBDiscId.substr(6), "63");  // 99 tracks in the low byte
    EXPECT_EQ(r.CDDBQueryCmd.substr(0, 7), "99 150 ");
}

// The identifiers agree with an independent computation from their
// definitions (and with libdiscid's freedb id where it takes the disc).
TEST(DiscIdCompute, AgreesWithIndependentImplementation)
{
    std::string args;
    for (const TocCase &c : cases())
        args += " '" + discdbtest::fixturePath(c.fixture) + "'";
    args += " '" + discdbtest::fixturePath("tracks99") + "'";
    std::string out;
    ASSERT_EQ(testutil::runPython(testutil::sourcePath("tests/discdb/freedb_oracle.py"), args, &out), 0);
    std::istringstream lines(out);
    std::string line;
    int seen = 0, libdiscid = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string name, id, pid, other, query, w;
        words >> name >> id >> pid >> other;
        while (words >> w)
            query += (query.empty() ? "" : " ") + w;
        SCOPED_TRACE(name);
        const discid::TocResult r = computeFixture(name);
        EXPECT_EQ(r.CDDBDiscId, id);
        EXPECT_EQ(r.CDPID, pid);
        EXPECT_EQ(r.CDDBQueryCmd, query);
        if (other != "-") {
            EXPECT_EQ(r.CDDBDiscId, other);
            ++libdiscid;
        }
        ++seen;
    }
    EXPECT_EQ(seen, int(cases().size()) + 1);
    EXPECT_GE(libdiscid, 6);  // python3-libdiscid is installed by scripts/deps
}

TEST(DiscIdCompute, HostileHeadersAreBounded)
{
    // A header claiming 255 tracks: at most the 99 tracks the tables hold.
    const discid::TocResult r = computeFixture("claims255");
    EXPECT_EQ(r.TotalTracks, 99);
    EXPECT_EQ(r.Tracks.size(), 99u);
    // A last track number beyond the descriptors the data length covers.
    std::string bytes = discdbtest::fixture("example");
    bytes[3] = char(40);
    const discid::TocResult b =
        discid::Compute(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    EXPECT_EQ(b.TotalTracks, 3);
    EXPECT_EQ(b.CDDBDiscId, "20033a03");
    // Nothing at all, or a header only.
    EXPECT_EQ(discid::Compute(nullptr, 0).CDDBQueryCmd, "0 0");
    const uint8_t header[4] = {0, 2, 1, 99};
    EXPECT_EQ(discid::Compute(header, sizeof header).TotalTracks, 0);
}

TEST(DiscIdCompute, SmallRules)
{
    EXPECT_EQ(discid::cddb_sum(0), 0);
    EXPECT_EQ(discid::cddb_sum(-5), 0);
    EXPECT_EQ(discid::cddb_sum(277), 16);
    EXPECT_EQ(TDiscId::LeadingZero(9), "09");
    EXPECT_EQ(TDiscId::LeadingZero(10), "10");
    EXPECT_EQ(TDiscId::LeadingZero(-3), "0-3");
    uint8_t a = 0, t = 0, l = 0;
    TDiscId::GetCDROMLoc("(01:02:00) X Y Z", a, t, l);
    EXPECT_EQ(std::make_tuple(a, t, l), std::make_tuple(uint8_t(1), uint8_t(2), uint8_t(0)));
}

// ---- the layer and its backends ----------------------------------------------------------------

class AspiFixture : public ::testing::Test {
protected:
    void TearDown() override
    {
        aspi::Release();
        unsetenv("MIXDECK_CDROM_SIM");
    }
    testutil::TempDir sim;
};

TEST_F(AspiFixture, SimulatedDrivesAreListedAndRead)
{
    discdbtest::simulateDrives(sim, {{"sr0", "example"}, {"sr1", "data_first"}});
    TDiscId id;
    ASSERT_TRUE(id.GetASPI32Support());
    id.GetCDDrives();
    ASSERT_EQ(id.TotalCDROMS, 2);
    EXPECT_EQ((*id.AvailableCDROMS)[0], "(00:00:00) MIXDECK Simulated CD 1.0");
    EXPECT_EQ((*id.AvailableCDROMS)[1], "(00:01:00) MIXDECK Simulated CD 1.0");
    EXPECT_EQ((*id.AssignedDrivesLetters)[0], "sr0");
    EXPECT_EQ((*id.AssignedDrivesLetters)[1], "sr1");
    id.GetCDProperties((*id.AvailableCDROMS)[0]);
    EXPECT_EQ(id.CDPID, "00000000000D2C3D");
    EXPECT_EQ(id.CDDBDiscId, "20033a03");
    EXPECT_EQ(id.TracksInfo[2].TrackTime, "04:43");
    id.GetCDProperties((*id.AvailableCDROMS)[1]);
    EXPECT_EQ(id.CDDBDiscId, "20075104");
    EXPECT_EQ(id.TotalDataTracks, 1);
    // Listing again appends, as the layer's callers expect.
    id.GetCDDrives();
    EXPECT_EQ(id.TotalCDROMS, 4);
}

TEST_F(AspiFixture, BrokenOrEmptyDrivesReadAsNoDisc)
{
    // Larger than any reply: refused before it is read.
    testutil::writeFile(sim.file("sr3.toc"), std::string(5000, '\x01'));
    // A whole reply, then the command fails; the same after its first 12
    // bytes: what came is no table of contents.
    testutil::writeFile(sim.file("sr4.fail"), "");
    testutil::writeFile(sim.file("sr5.fail"), "12\n");
    discdbtest::simulateDrives(sim, {{"sr0", "truncated"}, {"sr1", "claims255"}, {"sr2", "empty"},
                                     {"sr4", "example"}, {"sr5", "example"}});
    TDiscId id;
    ASSERT_TRUE(id.GetASPI32Support());
    id.GetCDDrives();
    ASSERT_EQ(id.TotalCDROMS, 6);
    for (int d = 0; d < 6; ++d) {
        SCOPED_TRACE(d);
        id.GetCDProperties((*id.AvailableCDROMS)[d]);
        EXPECT_EQ(id.TotalTracks, 0);
        EXPECT_EQ(id.TotalAudioTracks, 0);
        EXPECT_EQ(id.CDPID, "0000000000000000");
        EXPECT_EQ(id.CDDBQueryCmd, "0 0");
        EXPECT_TRUE(std::all_of(id.TOC().begin(), id.TOC().end(), [](uint8_t b) { return b == 0; }));
    }
    // The failing drives did fill the buffer before the error: the cleared
    // area above is the identification's doing.
    const std::string example = discdbtest::fixture("example");
    for (const auto &[target, moved] : {std::pair<int, size_t> {4, example.size()}, std::pair<int, size_t> {5, 12}}) {
        SCOPED_TRACE(target);
        std::vector<uint8_t> buffer(804, 0);
        aspi::SRB_ExecSCSICmd srb;
        srb.h.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
        srb.SRB_Target = uint8_t(target);
        srb.SRB_BufLen = uint32_t(buffer.size());
        srb.SRB_BufPointer = buffer.data();
        srb.SRB_SenseLen = aspi::kSenseLen;
        const uint8_t cdb[10] = {0x43, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x24, 0x00};
        srb.SRB_CDBLen = sizeof cdb;
        std::memcpy(srb.CDBByte, cdb, sizeof cdb);
        EXPECT_EQ(aspi::SendASPI32Command(&srb), aspi::SS_ERR);
        EXPECT_EQ(srb.h.SRB_Status, aspi::SS_ERR);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + std::ptrdiff_t(moved)), example.substr(0, moved));
        EXPECT_TRUE(std::all_of(buffer.begin() + std::ptrdiff_t(moved), buffer.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST_F(AspiFixture, NoDriveIsAnEmptyList)
{
    discdbtest::simulateDrives(sim, {});
    EXPECT_EQ(aspi::GetASPI32SupportInfo(), uint32_t(aspi::SS_NO_ADAPTERS) << 8);
    TDiscId id;
    EXPECT_TRUE(id.GetASPI32Support());
    id.GetCDDrives();
    EXPECT_EQ(id.TotalCDROMS, 0);
}

TEST(AspiLayer, CheckTocReply)
{
    const std::string ok = discdbtest::fixture("example");
    auto check = [](const std::string &b) {
        return aspi::CheckTocReply(reinterpret_cast<const uint8_t *>(b.data()), b.size());
    };
    EXPECT_EQ(check(ok), "");
    EXPECT_NE(check(ok.substr(0, 3)), "");
    EXPECT_NE(check(ok.substr(0, 20)), "");
    EXPECT_NE(check(discdbtest::fixture("claims255")), "");
    EXPECT_NE(check(discdbtest::fixture("zero")), "");
    std::string noLeadOut = ok;
    noLeadOut[4 + 8 * 3 + 2] = 4;
    EXPECT_NE(check(noLeadOut), "");
}

TEST_F(AspiFixture, LinuxBackendListsDevicesFromSysfs)
{
    // A sysfs tree with a CD-ROM drive on host 3 and a disk on host 1.
    auto device = [&](const std::string &addr, const char *type, const char *vendor, const char *model,
                      const char *node) {
        const std::string dev = sim.path() + "/sys/" + addr + "/device";
        ASSERT_EQ(system(("mkdir -p '" + dev + "/block/" + node + "'").c_str()), 0);
        testutil::writeFile(dev + "/type", std::string(type) + "\n");
        testutil::writeFile(dev + "/vendor", vendor);
        testutil::writeFile(dev + "/model", model);
        testutil::writeFile(dev + "/rev", "1.02\n");
    };
    device("3:0:1:0", "5", "HL-DT-ST", "DVDRAM GH24NSD1 ", "sr0");
    device("1:0:0:0", "0", "ATA     ", "Some Disk       ", "sda");
    device("3:0:2:0", "5", "  ACME", "Burner", "sr1");  // leading blanks stay
    ASSERT_EQ(system(("mkdir -p '" + sim.path() + "/sys/host3'").c_str()), 0);  // not an address
    aspi::Bind(aspi::MakeLinuxBackend(sim.path() + "/sys", sim.path() + "/dev"));
    TDiscId id;
    ASSERT_TRUE(id.GetASPI32Support());
    id.GetCDDrives();
    ASSERT_EQ(id.TotalCDROMS, 2);
    EXPECT_EQ((*id.AvailableCDROMS)[0], "(01:01:00) HL-DT-ST DVDRAM GH24NSD1 1.02");
    EXPECT_EQ((*id.AvailableCDROMS)[1], "(01:02:00)   ACME Burner 1.02");
    EXPECT_EQ((*id.AssignedDrivesLetters)[0], "sr0");
    EXPECT_EQ((*id.AssignedDrivesLetters)[1], "sr1");
    // No such device node: the read fails cleanly.
    id.GetCDProperties((*id.AvailableCDROMS)[0]);
    EXPECT_EQ(id.TotalAudioTracks, 0);
    EXPECT_EQ(id.CDDBQueryCmd, "0 0");
}

// A backend of one CD-ROM drive whose READ TOC the test decides.
class OneDriveBackend : public aspi::Backend {
public:
    OneDriveBackend()
    {
        aspi::Device d;
        d.type = aspi::DTYPE_CDROM;
        d.node = "sr9";
        devices_.push_back(d);
    }
    const std::vector<aspi::Device> &Devices() const override { return devices_; }
    std::vector<aspi::Device> devices_;
};

// A drive that takes a READ TOC and never answers.
class SilentBackend : public OneDriveBackend {
public:
    uint8_t ReadTOC(const aspi::Device &, const uint8_t *, uint8_t *buffer, uint32_t, uint8_t *,
                    aspi::SRB_ExecSCSICmd *srb) override
    {
        buffer[0] = 0x7F;  // a partial reply that must not count
        pending = srb;
        return aspi::SS_PENDING;
    }
    void Abort(aspi::SRB_ExecSCSICmd *srb) override
    {
        if (srb == pending)
            ++aborted;
        pending = nullptr;
    }
    aspi::SRB_ExecSCSICmd *pending = nullptr;
    int aborted = 0;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST_F(AspiFixture, AnUnansweredReadGivesUpAtItsTimeLimitWithoutSpinning)
{
    auto owned = std::make_unique<SilentBackend>();
    SilentBackend *backend = owned.get();
    aspi::Bind(std::move(owned));
    TDiscId id;
    id.CommandTimeoutMs = 400;
    ASSERT_TRUE(id.GetASPI32Support());
    id.GetCDDrives();
    ASSERT_EQ(id.TotalCDROMS, 1);
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    id.GetCDProperties((*id.AvailableCDROMS)[0]);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(elapsed, 0.39);
    EXPECT_LT(elapsed, 5.0);
    EXPECT_LT(cpuSeconds() - cpu0, 0.2);
    EXPECT_EQ(backend->aborted, 1);
    EXPECT_EQ(id.TOC()[0], 0);
    EXPECT_EQ(id.TotalTracks, 0);
    EXPECT_EQ(id.CDPID, "0000000000000000");
}

// A drive that answers a READ TOC from a thread of its own a little later.
class LateBackend : public OneDriveBackend {
public:
    ~LateBackend() override
    {
        if (worker_.joinable())
            worker_.join();
    }
    uint8_t ReadTOC(const aspi::Device &, const uint8_t *, uint8_t *buffer, uint32_t length, uint8_t *,
                    aspi::SRB_ExecSCSICmd *srb) override
    {
        if (worker_.joinable())
            worker_.join();
        worker_ = std::thread([buffer, length, srb] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            const std::string reply = discdbtest::fixture("example");
            std::memcpy(buffer, reply.data(), std::min<size_t>(reply.size(), length));
            srb->h.SRB_Status = aspi::SS_COMP;
            srb->SRB_PostProc->Set();
        });
        return aspi::SS_PENDING;
    }
    std::thread worker_;
};

TEST_F(AspiFixture, APendingReadCompletesThroughItsEvent)
{
    aspi::Bind(std::make_unique<LateBackend>());
    TDiscId id;
    ASSERT_TRUE(id.GetASPI32Support());
    id.GetCDDrives();
    ASSERT_EQ(id.TotalCDROMS, 1);
    id.GetCDProperties((*id.AvailableCDROMS)[0]);
    EXPECT_EQ(id.CDDBDiscId, "20033a03");
    EXPECT_EQ(id.CDPID, "00000000000D2C3D");
}

TEST(AspiLayer, EventWaitHonoursItsLimit)
{
    aspi::AspiEvent e;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(e.WaitFor(50));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(50));
    e.Set();
    EXPECT_TRUE(e.WaitFor(0));
    e.Reset();
    EXPECT_FALSE(e.WaitFor(0));
}

} // namespace

TEST(DiscIdFixtures, FoundWithoutTheSourceVariable)
{
    // Run by hand from any folder, the program finds the fixtures the build
    // was made with; MIXDECK_SOURCE_DIR, when set, names another tree.
    const char *set = getenv("MIXDECK_SOURCE_DIR");
    const std::string saved = set ? set : "";
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    unsetenv("MIXDECK_SOURCE_DIR");
    ASSERT_EQ(chdir("/"), 0);
    const std::string found = discdbtest::fixture("example");
    testutil::TempDir other;
    testutil::writeFile(other.file("example.toc"), "other");
    setenv("MIXDECK_SOURCE_DIR", other.path().c_str(), 1);
    const std::string overridden = testutil::readFile(testutil::sourcePath("example.toc"));
    EXPECT_EQ(chdir(cwd), 0);
    if (set)
        setenv("MIXDECK_SOURCE_DIR", saved.c_str(), 1);
    else
        unsetenv("MIXDECK_SOURCE_DIR");
    EXPECT_EQ(discid::Compute(reinterpret_cast<const uint8_t *>(found.data()), found.size()).CDPID,
              "00000000000D2C3D");
    EXPECT_EQ(overridden, "other");
}
