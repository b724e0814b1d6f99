#pragma once
// A main-window fixture with both scripted database peers (cddbp and HTTP,
// on four-digit ports, as the options window's port fields hold) for the
// whole suite, their scripts and logs cleared before each test, and the
// settings file aimed at them.
#include "CddbPeer.h"
#include "DiscdbTestUtil.h"
#include "compilation/MainFixture.h"
#include "discdb/AddCD.h"
#include "discdb/CDDB.h"
#include "discdb/CDDBOptions.h"
#include "discdb/ChooseCD.h"
#include "ui_AddCD.h"

#include <chrono>
#include <memory>

class OnlinePeersFixture : public MainFixture {
protected:
    static void SetUpTestSuite()
    {
        cddbpPeer = new discdbtest::CddbPeer("cddbp", true);
        httpPeer = new discdbtest::CddbPeer("http", true);
    }
    static void TearDownTestSuite()
    {
        delete cddbpPeer;
        delete httpPeer;
        cddbpPeer = httpPeer = nullptr;
    }
    void SetUp() override
    {
        MainFixture::SetUp();
        ASSERT_TRUE(cddbpPeer->ready());
        ASSERT_TRUE(httpPeer->ready());
        for (auto *p : {cddbpPeer, httpPeer}) {
            p->script("{}");
            p->clear();
        }
    }
    // From now on firstBox holds when the first message box came.
    void stampFirstBox()
    {
        firstBox = {};
        dialogs.OnCall = [this](const ScriptedDialogs::Call &) {
            if (firstBox == std::chrono::steady_clock::time_point())
                firstBox = std::chrono::steady_clock::now();
        };
    }
    void TearDown() override
    {
        chooser.reset();
        options.reset();
        grab.reset();
        MainFixture::TearDown();
        aspi::Release();
        unsetenv("MIXDECK_CDROM_SIM");
    }
    // The settings aimed at both peers; http selects the protocol.
    static cddbopts::CDDBOptions peerOptions(bool http, const std::string &timeOut)
    {
        cddbopts::CDDBOptions o = cddbopts::DefaultOptions();
        o.CDDBServerList = {"127.0.0.1 N000.00 W000.00 Test server"};
        o.CDDBPortList = {std::to_string(cddbpPeer->port())};
        o.HTTPServerList = {"127.0.0.1 N000.00 W000.00 Test server"};
        o.CGIPathList = {"/~cddb/cddb.cgi"};
        o.HTTPPortList = {std::to_string(httpPeer->port())};
        o.UseHTTP = http;
        o.ServerToUse = 0;
        o.UserEmail = "user@example.org";
        o.TimeOut = timeOut;
        return o;
    }
    static discdbtest::CddbPeer &peer(bool http) { return http ? *httpPeer : *cddbpPeer; }

    // The settings file written and a drive simulated, then the main window
    // and the grabbing, options and chooser windows wired as at start-up.
    void openWindows(const cddbopts::CDDBOptions &o)
    {
        cddbopts::SaveOptions(dir.file("CDDB.ini"), o);
        discdbtest::simulateDrives(sim, {{"sr0", "example"}});
        make();
        grab = std::make_unique<TGrabCDForm>();
        options = std::make_unique<TCDDBOptForm>(form->CDDBIniFile, grab->ui->CategBox);
        grab->LoadSettings = [this] { options->LoadCDDBOptions(); };
        chooser = std::make_unique<TChooseCDForm>();
    }

    // The windows opened with the settings and wired to the main window,
    // the grabbing window shown and its disc read (Get Tracks), no box
    // recorded yet: a lookup can start.
    void openGrabbing(const cddbopts::CDDBOptions &o)
    {
        openWindows(o);
        form->GrabCDForm = grab.get();
        form->CDDBOptForm = options.get();
        grab->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grab.get()));
        QTest::mouseClick(grab->ui->GetTracksBtn, Qt::LeftButton);
        ASSERT_EQ(grab->DiscIdText, "20033a03");
        dialogs.Calls.clear();
    }

    testutil::TempDir sim;
    std::unique_ptr<TGrabCDForm> grab;
    std::unique_ptr<TCDDBOptForm> options;
    std::unique_ptr<TChooseCDForm> chooser;
    std::chrono::steady_clock::time_point firstBox;

    // Both peers live for the whole suite; each test writes their scripts.
    static inline discdbtest::CddbPeer *cddbpPeer = nullptr;
    static inline discdbtest::CddbPeer *httpPeer = nullptr;
};
