#include "controls/ProUrl.h"

#include "platform/Cp1252.h"
#include "support/Cursors.h"

#include <QMouseEvent>
#include <QPainter>

// ---- TProUrlLabel --------------------------------------------------------------------

TProUrlLabel::TProUrlLabel(QWidget *parent) : TProLabel(parent)
{
    SetFontColor(clBlue);
    SetUnderline(true);
    SetCursor(crProHandPoint);
}

QString TProUrlLabel::URLQ() const
{
    return FromAnsi(url_);
}

void TProUrlLabel::SetURLQ(const QString &s)
{
    url_ = ToAnsi(s);
}

void TProUrlLabel::SetCursor(int index)
{
    cursor_ = index;
    setCursor(Screen::Cursors(index));
}

void TProUrlLabel::SetUnderline(bool on)
{
    QFont f = font();
    if (f.underline() == on)
        return;
    f.setUnderline(on);
    setFont(f);
}

void TProUrlLabel::FontChanged()
{
    TProLabel::FontChanged();
    if (canHover_ || pressed_)
        return;
    if (visited_)
        visitedColor_ = FontColor();
    else
        unvisitedColor_ = FontColor();
}

void TProUrlLabel::SetUnvisitedColor(TColor c)
{
    if (c == unvisitedColor_)
        return;
    // The field is stored in every case, so a colour set while hover is on
    // is not lost at the next mouse exit.
    unvisitedColor_ = c;
    if (!visited_)
        SetFontColor(c);
}

void TProUrlLabel::SetVisitedColor(TColor c)
{
    if (c == visitedColor_)
        return;
    visitedColor_ = c;
    if (visited_)
        SetFontColor(c);
}

void TProUrlLabel::SetCanHover(bool on)
{
    if (on == canHover_)
        return;
    canHover_ = on;
    SetUnderline(!on);
}

void TProUrlLabel::MouseEnter()
{
    TProLabel::MouseEnter();
    if (canHover_)
        SetUnderline(true);
    if (pressed_)
        SetFontColor(activatedColor_);
    else if (canHover_)
        SetFontColor(hoveredColor_);
}

void TProUrlLabel::MouseLeave()
{
    TProLabel::MouseLeave();
    if (canHover_)
        SetUnderline(false);
    SetFontColor(StateColor());
}

void TProUrlLabel::mousePressEvent(QMouseEvent *event)
{
    TProLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        SetFontColor(activatedColor_);
    }
}

void TProUrlLabel::mouseReleaseEvent(QMouseEvent *event)
{
    TProLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->position().toPoint();
    // The right and bottom edges count as inside.
    const bool outside = p.x() < 0 || p.y() < 0 || p.x() > width() || p.y() > height();
    if (outside) {
        SetFontColor(StateColor());
    } else if (pressed_) {
        visited_ = true;
        SetFontColor(canHover_ ? hoveredColor_ : visitedColor_);
        OpenURL(url_.empty() ? Caption() : url_);
    }
    pressed_ = false;
}

// ---- TProUrlImage ----------------------------------------------------------------------

TProUrlImage::TProUrlImage(QWidget *parent) : QWidget(parent)
{
    SetCursor(crProHandPoint);
}

QString TProUrlImage::URLQ() const
{
    return FromAnsi(url_);
}

void TProUrlImage::SetURLQ(const QString &s)
{
    url_ = ToAnsi(s);
}

void TProUrlImage::SetPicture(const QPixmap &picture)
{
    picture_ = picture;
    update();
}

void TProUrlImage::SetCursor(int index)
{
    cursor_ = index;
    setCursor(Screen::Cursors(index));
}

void TProUrlImage::Click()
{
    emit clicked();
    OpenURL(url_);
}

void TProUrlImage::paintEvent(QPaintEvent *)
{
    if (picture_.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
}

void TProUrlImage::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        leftDown_ = true;
    event->accept();
}

void TProUrlImage::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const bool wasDown = leftDown_;
        leftDown_ = false;
        if (wasDown && rect().contains(event->position().toPoint()))
            Click();
    }
    event->accept();
}
