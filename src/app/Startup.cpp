#include "app/Startup.h"

#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/SysUtils.h"

#include <QMainWindow>

#include <cstdlib>

namespace Startup {

namespace {
const char *const kTitle = "MIXDECK";
}

void CreateWindows(Windows &windows)
{
    if (const char *fail = std::getenv("MIXDECK_STARTUP_FAIL"))
        throw Exception(fail);
    auto main = std::make_unique<QMainWindow>();
    main->setWindowTitle(QString::fromLatin1(kTitle));
    main->resize(769, 505);
    QMainWindow *shown = main.get();
    windows.push_back(std::move(main));
    shown->show();
}

int Run(TApplication &app)
{
    Windows windows;
    int status = 0;
    try {
        Dialogs::SetApplicationTitle(kTitle);
        QApplication::setApplicationName(QString::fromLatin1(kTitle));
        CreateWindows(windows);
        status = app.exec();
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
