#include "support/Cursors.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <map>

namespace {

std::map<int, QCursor> &table()
{
    static std::map<int, QCursor> t;
    return t;
}

std::map<std::string, TCursorFactory> &resources()
{
    static std::map<std::string, TCursorFactory> r;
    return r;
}

int screenCursor = crDefault;
bool overridden = false;

Qt::CursorShape builtinShape(int index, bool *known)
{
    *known = true;
    switch (index) {
    case crDefault: return Qt::ArrowCursor;
    case crNone: return Qt::BlankCursor;
    case crArrow: return Qt::ArrowCursor;
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: return Qt::WaitCursor;
    case crDrag: return Qt::DragCopyCursor;
    case crNoDrop: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crMultiDrag: return Qt::DragCopyCursor;
    case crSQLWait: return Qt::BusyCursor;
    case crNo: return Qt::ForbiddenCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: *known = false; return Qt::ArrowCursor;
    }
}

QCursor paintCursor(const QPainterPath &outline, int hotX, int hotY)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(outline);
    p.end();
    return QCursor(pm, hotX, hotY);
}

} // namespace

namespace Screen {

QCursor Cursors(int index)
{
    auto it = table().find(index);
    if (it != table().end())
        return it->second;
    bool known = false;
    Qt::CursorShape shape = builtinShape(index, &known);
    return QCursor(known ? shape : Qt::ArrowCursor);
}

void SetCursors(int index, const QCursor &cursor)
{
    table()[index] = cursor;
}

bool HasCursor(int index)
{
    if (table().count(index))
        return true;
    bool known = false;
    builtinShape(index, &known);
    return known && index <= 0;
}

void RemoveCursor(int index) { table().erase(index); }
void ResetCursors() { table().clear(); }

int Cursor() { return screenCursor; }

void SetCursor(int index)
{
    if (index == screenCursor)
        return;
    screenCursor = index;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    if (index == crDefault) {
        if (overridden)
            QApplication::restoreOverrideCursor();
        overridden = false;
    } else if (overridden) {
        QApplication::changeOverrideCursor(Cursors(index));
    } else {
        QApplication::setOverrideCursor(Cursors(index));
        overridden = true;
    }
}

} // namespace Screen

void RegisterCursorResource(const std::string &name, TCursorFactory factory)
{
    resources()[name] = std::move(factory);
}

bool LoadCursorResource(const std::string &name, QCursor &cursor)
{
    auto it = resources().find(name);
    if (it == resources().end() || !it->second)
        return false;
    cursor = it->second();
    return true;
}

QCursor MakeHandCursor()
{
    // Index finger pointing up, three bent fingers, thumb on the left.
    QPainterPath p;
    p.addRoundedRect(QRectF(5.5, 0.5, 4, 15), 2, 2);
    QPainterPath f;
    f.addRoundedRect(QRectF(9.5, 6.5, 3.5, 9), 1.5, 1.5);
    f.addRoundedRect(QRectF(12.5, 7.5, 3.5, 8), 1.5, 1.5);
    f.addRoundedRect(QRectF(15.5, 8.5, 3, 7), 1.5, 1.5);
    QPainterPath palm;
    palm.addRoundedRect(QRectF(5.5, 11.5, 13, 11), 3, 3);
    QPainterPath thumb;
    thumb.moveTo(5.5, 14.5);
    thumb.lineTo(2.5, 11.5);
    thumb.lineTo(0.5, 13.5);
    thumb.lineTo(5.5, 20.5);
    thumb.closeSubpath();
    QPainterPath hand = p.united(f).united(palm).united(thumb);
    return paintCursor(hand, HandCursorHotX, HandCursorHotY);
}

QCursor MakeDragHandCursor()
{
    // A closed fist seen from the back, knuckles up.
    QPainterPath k;
    k.addRoundedRect(QRectF(4.5, 4.5, 4, 7), 2, 2);
    k.addRoundedRect(QRectF(8.5, 3.5, 4, 7), 2, 2);
    k.addRoundedRect(QRectF(12.5, 3.5, 4, 7), 2, 2);
    k.addRoundedRect(QRectF(16.5, 4.5, 3.5, 7), 1.5, 1.5);
    QPainterPath palm;
    palm.addRoundedRect(QRectF(4.5, 7.5, 15.5, 12), 3, 3);
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(1.5, 8.5, 5, 7), 2, 2);
    QPainterPath fist = k.united(palm).united(thumb);
    return paintCursor(fist, DragCursorHotX, DragCursorHotY);
}
