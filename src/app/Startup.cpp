#include "app/Startup.h"
#include "app/ScriptedUser.h"
#include "app/SingleCopy.h"
#include "app/TapePrint.h"

#include "compilation/About.h"
#include "compilation/Main.h"
#include "compilation/ManageDB.h"
#include "controls/Provcl.h"
#include "discdb/AddCD.h"
#include "discdb/AdviceSubmit.h"
#include "discdb/CDDB.h"
#include "discdb/ChooseCD.h"
#include "discdb/NetPump.h"
#include "discdb/Queue.h"
#include "discdb/Submit.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/SysUtils.h"
#include "support/SupConst.h"
#include "support/WinHook.h"
#include "webupdate/Update.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace Startup {

namespace {
const char *const kTitle = "MIXDECK";
}

namespace {

// For the start-up benchmark: once the main window has painted for the
// first time, says so on standard output and ends the program.
class FirstPaintProbe : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, [] {
                std::fputs("first paint\n", stdout);
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, e);
    }

private:
    bool seen_ = false;
};

} // namespace

void CreateWindows(Windows &windows)
{
    if (const char *fail = std::getenv("MIXDECK_STARTUP_FAIL"))
        throw Exception(fail);
    InitSupConst();
    RegisterProCursors();
    SetHookExceptionHandler([](QObject *, std::exception_ptr e) { HandlerGuard::ShowException(e); });
    // Network waits keep every window alive; the grabbing window below
    // holds the program's one anti-freeze.
    netpump::Install();

    // The long-lived windows, in this order; the main window first, so it
    // is the application's main window.
    auto *main = new TMainForm;
    windows.emplace_back(main);
    auto *grab = new TGrabCDForm;
    windows.emplace_back(grab);
    auto *modify = new TModifyForm;
    windows.emplace_back(modify);
    auto *about = new TAboutForm;
    windows.emplace_back(about);
    // The options window loads the settings into itself and the grabbing
    // window's category box; the grabbing window reloads them on each show.
    auto *options = new TCDDBOptForm(main->CDDBIniFile, grab->findChild<QComboBox *>("CategBox"));
    windows.emplace_back(options);
    grab->LoadSettings = [options] { options->LoadCDDBOptions(); };
    windows.emplace_back(new TChooseCDForm);
    auto *advice = new TAdviceForm;
    windows.emplace_back(advice);
    // The grabbing window's submission keeps its mail client for the
    // window's lifetime.
    auto submission =
        std::make_shared<TEntrySubmission>(*grab, [options] { return options->Options(); }, *advice);
    grab->SubmitToInternet = [submission] { submission->Submit_MenuItemClick(); };
    // The tape reports, never shown; the main window keeps them.
    BindTapePrinting(*main, std::make_shared<TTapeReports>());
    auto *queue = new TQueueForm;
    windows.emplace_back(queue);
    queue->LoadSettings = [options] { options->LoadCDDBOptions(); };
    queue->Settings = [options] { return options->Options(); };
    // The update window with the main window's web update component; the
    // component ends the program through the main window's Exit after the
    // updater has started.
    auto webUpdate = std::make_unique<TWebUpdate>();
    SetupMainWebUpdate(*webUpdate);
    auto *update = new TUpdateForm(main, std::move(webUpdate));
    update->ExitProgram = [main] { main->ExitMenuClick(); };
    windows.emplace_back(update);

    main->GrabCDForm = grab;
    main->ModifyForm = modify;
    main->AboutForm = about;
    main->CDDBOptForm = options;
    main->QueueForm = queue;
    main->UpdateForm = update;
    main->FillAboutVersion = [about](const std::array<int, 4> &v) { about->SetVersion(v); };
    if (std::getenv("MIXDECK_EXIT_AFTER_FIRST_PAINT"))
        main->installEventFilter(new FirstPaintProbe(main));
    main->show();
}

int Run(TApplication &app)
{
    // The program folder is fixed here, absolute, for the whole run: what
    // the environment or the current folder say later changes nothing.
    SingleCopy::Claim claim(AppPaths::FixProgramFolder());
    Windows windows;
    std::unique_ptr<ScriptedUser> user;
    int status = 0;
    try {
        Dialogs::SetApplicationTitle(kTitle);
        QApplication::setApplicationName(QString::fromLatin1(kTitle));
        // One copy per program folder, settled before anything is written;
        // from here on later starts are heard, also while a message box of
        // the start-up waits.
        if (SingleCopy::ClaimProgramFolder(claim, status)) {
            user = ScriptedUser::FromEnvironment();
            CreateWindows(windows);
            auto *main = static_cast<TMainForm *>(windows.front().get());
            // The update's restart brings back this very program.
            if (auto *update = qobject_cast<TUpdateForm *>(main->UpdateForm))
                update->WebUpdate->RestartProgram = AppPaths::ExecutablePath();
            claim.SetWindow(main);
            if (user)
                user->Ready();
            status = app.exec();
        }
    } catch (...) {
        HandlerGuard::ShowException(std::current_exception());
        status = 1;
    }
    // Windows go before the application object, last created first.
    while (!windows.empty())
        windows.pop_back();
    return status;
}

} // namespace Startup
