#include "reports/AlImage.h"

#include <QPainter>

namespace {
const TAlBrush kNoBrush{clWhite, bsClear};
}

tAlImage::tAlImage(TAlReportForm *owner) : tAlControl(owner)
{
    Width = 100;
    Height = 100;
}

void tAlImage::SetStretch(bool on) { stretch_ = on; }
void tAlImage::SetCenter(bool on) { center_ = on; }

void tAlImage::SetAutoSize(bool on)
{
    autoSize_ = on;
    if (!Loading && autoSize_)
        PicChanged();
}

void tAlImage::SetPicture(const TAlPicture &picture)
{
    picture_ = picture;
    PicChanged();
}

void tAlImage::PicChanged()
{
    if (Loading)
        return;
    if (autoSize_ && picture_.Width() > 0 && picture_.Height() > 0)
        SetBounds(Left, Top, picture_.Width(), picture_.Height());
}

void tAlImage::drawDesign(QPainter &painter) const
{
    if (stretch_)
        painter.drawImage(QRect(0, 0, Width, Height), picture_.image);
    else if (center_)
        painter.drawImage(QPoint((Width - picture_.Width()) / 2, (Height - picture_.Height()) / 2), picture_.image);
    else
        painter.drawImage(QPoint(0, 0), picture_.image);
}

void tAlImage::Paint(QPainter &painter) const
{
    if (!picture_.HasBitmap())
        TAlShape::DrawShape(painter, stRectangle, FramePen, kNoBrush, TRect(0, 0, Width, Height));
    else
        drawDesign(painter);
}

void tAlImage::PrintOut(const TRect &rect, const std::string &)
{
    QPainter &canvas = AlPrinter().GetCanvas();
    if (!picture_.HasBitmap()) {
        TAlShape::DrawShape(canvas, stRectangle, FramePen, kNoBrush, rect);
    } else if (stretch_) {
        canvas.drawImage(rect.ToQRect(), picture_.image);
    } else if (Width > 0 && Height > 0) {
        QImage design(Width, Height, QImage::Format_RGB32);
        design.fill(Qt::white);
        QPainter p(&design);
        drawDesign(p);
        p.end();
        canvas.drawImage(rect.ToQRect(), design);
    }
}
