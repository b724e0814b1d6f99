#include "controls/Provcl.h"

#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/Rtl.h"
#include "support/Cursors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QObject>
#include <QPainter>
#include <QThread>
#include <algorithm>

// ---- cursors -----------------------------------------------------------------------

void RegisterProCursors()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    struct Entry {
        const char *name;
        int index;
        TCursorFactory make;
    };
    const Entry entries[] = {
        {"PRO_HANDPOINT", crProHandPoint, [] { return MakeHandCursor(); }},
        {"PRO_SMALLHANDPOINT", crProSmallHandPoint, [] { return QCursor(Qt::PointingHandCursor); }},
        {"PRO_GRABHAND", crProGrabHand, [] { return QCursor(Qt::OpenHandCursor); }},
        {"PRO_GRABHANDARROW", crProGrabHandArrow, [] { return QCursor(Qt::OpenHandCursor); }},
        {"PRO_DRAGHAND", crProDragHand, [] { return MakeDragHandCursor(); }},
    };
    for (const Entry &e : entries) {
        RegisterCursorResource(e.name, e.make);
        QCursor c;
        if (LoadCursorResource(e.name, c))
            Screen::SetCursors(e.index, c);
    }
}

// ---- frames ----------------------------------------------------------------------------

void FrameCtl3DSides(QPainter &canvas, const TRect &rect, TSides sides, bool flag)
{
    TRect r = rect;
    if (flag) {
        Frame3DSides(canvas, r, sides, clBtnShadow, clBtnHighlight, 1);
        Frame3DSides(canvas, r, sides, clBtnText, cl3DLight, 1);
    } else {
        Frame3DSides(canvas, r, sides, clBtnHighlight, clBtnText, 1);
        Frame3DSides(canvas, r, sides, cl3DLight, clBtnShadow, 1);
    }
}

void FrameCtl3D(QPainter &canvas, const TRect &rect)
{
    TRect r = rect;
    Frame3D(canvas, r, clBtnShadow, clBtnHighlight, 1);
    Frame3D(canvas, r, clBtnText, clBtnFace, 1);
}

// ---- system ------------------------------------------------------------------------------

void Delay(unsigned ms)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents();
        const qint64 elapsed = clock.elapsed();
        if (elapsed < 0 || elapsed >= qint64(ms))
            break;
        // Short sleeps keep the interface alive without spinning a core.
        QThread::msleep(std::min<qint64>(5, qint64(ms) - elapsed));
    }
}

void OpenURL(const std::string &url)
{
    if (url.empty())
        return;
    Dialogs::ShellOpen(url);
}

bool FontInstalled(const std::string &name)
{
    const QString wanted = FromAnsi(name);
    const QStringList families = QFontDatabase::families();
    for (const QString &f : families) {
        if (f.compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool FontTahomaInstalled()
{
    return FontInstalled("Tahoma");
}

std::string DefaultFontName()
{
    return FontTahomaInstalled() ? "Tahoma" : "MS Sans Serif";
}

std::string GetNewComponentName(const QObject *form, const std::string &baseName)
{
    if (!form)
        return baseName + "1";
    const QList<QObject *> owned = form->findChildren<QObject *>();
    for (int i = 1;; ++i) {
        const std::string candidate = baseName + Rtl::IntToStr(i);
        const QString q = FromAnsi(candidate);
        bool taken = false;
        for (const QObject *o : owned) {
            if (o->objectName().compare(q, Qt::CaseInsensitive) == 0) {
                taken = true;
                break;
            }
        }
        if (!taken)
            return candidate;
    }
}
