#include "reports/alprev.h"

#include "platform/Rtl.h"

using namespace Rtl;
#include "reports/AlPrinter.h"
#include "support/Cursors.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>

namespace {

// A magnifying glass: a round lens with a handle to the lower right; the hot
// spot is the lens's centre.
QCursor makeLupeCursor()
{
    QPixmap pix(32, 32);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 5));
    p.drawEllipse(QPointF(12, 12), 8, 8);
    p.drawLine(QPointF(18, 18), QPointF(28, 28));
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(255, 255, 255, 160));
    p.drawEllipse(QPointF(12, 12), 8, 8);
    p.setPen(QPen(Qt::black, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(18, 18), QPointF(28, 28));
    p.end();
    return QCursor(pix, 12, 12);
}

} // namespace

void RegisterPreviewCursor()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    RegisterCursorResource("LUPE", makeLupeCursor);
    QCursor c;
    if (LoadCursorResource("LUPE", c))
        Screen::SetCursors(crPreviewLupe, c);
}

// ---- paint box ---------------------------------------------------------------------

tAlPreviewPaintBox::tAlPreviewPaintBox(tAlPreview *preview, QWidget *parent)
    : QWidget(parent), preview_(preview)
{
}

void tAlPreviewPaintBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    preview_->PaintPage(p, width(), height());
}

void tAlPreviewPaintBox::mousePressEvent(QMouseEvent *e)
{
    const QPoint pos = e->position().toPoint();
    preview_->pbxMouseDown(e->button(), e->modifiers(), pos.x(), pos.y());
}

// ---- the control ---------------------------------------------------------------------

tAlPreview::tAlPreview(QWidget *parent) : QScrollArea(parent)
{
    RegisterPreviewCursor();
    setWidgetResizable(false);
    content_ = new QWidget;
    pbx_ = new tAlPreviewPaintBox(this, content_);
    pbx_->setObjectName("pbx");
    pbx_->setGeometry(15, 15, 823, 1164);
    pbx_->setCursor(Screen::Cursors(crPreviewLupe));
    content_->resize(823 + 30, 1164 + 30);
    setWidget(content_);
    verticalScrollBar()->setSingleStep(10);
    horizontalScrollBar()->setSingleStep(10);
}

tAlPreview::~tAlPreview()
{
    pages_.Clear();
}

void tAlPreview::SetPageNumber(int n)
{
    if (n > 0 && n <= GetPageCount()) {
        pageNumber_ = n;
        UpdatePage();
    }
}

void tAlPreview::SetZoom(int z)
{
    if (z != zoom_ && z >= 25 && z <= 200) {
        zoom_ = z;
        UpdatePage();
    }
}

void tAlPreview::SetShadow(bool on)
{
    if (on != shadow_) {
        shadow_ = on;
        pbx_->update();
    }
}

void tAlPreview::FirstPage() { SetPageNumber(1); }

void tAlPreview::LastPage()
{
    if (GetPageCount() > 0)
        SetPageNumber(GetPageCount());
}

void tAlPreview::NextPage()
{
    if (GetPageCount() > pageNumber_) {
        ++pageNumber_;
        UpdatePage();
    }
}

void tAlPreview::PrevPage()
{
    if (pageNumber_ > 1) {
        --pageNumber_;
        UpdatePage();
    }
}

int tAlPreview::HorzScrollRange() const { return content_->width(); }
int tAlPreview::VertScrollRange() const { return content_->height(); }

void tAlPreview::UpdatePage()
{
    if (!Designing) {
        const TAlPrinter &p = AlPrinter();
        int w = AlRound((long double)p.PageWidth * zoom_ / 100);
        int h = AlRound((long double)p.PageHeight * zoom_ / 100);
        if (shadow_) {
            w += 5;
            h += 5;
        }
        pbx_->resize(std::max(w, 0), std::max(h, 0));
    }
    content_->resize(pbx_->width() + 30, pbx_->height() + 30);
    pbx_->update();
}

void tAlPreview::PaintPage(QPainter &painter, int w, int h) const
{
    // Fills of (left, top, right, bottom), right and bottom exclusive.
    auto fill = [&](int l, int t, int r, int b, Qt::GlobalColor c) {
        if (r > l && b > t)
            painter.fillRect(QRect(l, t, r - l, b - t), c);
    };
    QRectF target(0, 0, w, h);
    if (shadow_) {
        fill(0, 0, 1, h - 3, Qt::black);
        fill(0, h - 4, 4, h - 3, Qt::black);
        fill(0, 0, w - 3, 1, Qt::black);
        fill(w - 4, 0, w - 3, 4, Qt::black);
        fill(w - 4, 4, w, h, Qt::black);
        fill(4, h - 4, w, h, Qt::black);
        fill(1, 1, w - 4, h - 4, Qt::white);
        target = QRectF(1, 1, w - 5, h - 5);
    } else {
        fill(0, 0, w, h, Qt::white);
    }
    if (Designing)
        return;
    if (const TDrawMetaFile *page = pages_.GetPage(pageNumber_ - 1))
        page->StretchDraw(painter, target);
}

void tAlPreview::pbxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    static const int steps[] = {50, 75, 100, 150, 200};
    const int n = int(std::size(steps));
    for (int i = 0; i < n; ++i) {
        if (steps[i] != zoom_)
            continue;
        if (button == Qt::LeftButton && i + 1 < n)
            SetZoom(steps[i + 1]);
        else if (button == Qt::RightButton && i > 0)
            SetZoom(steps[i - 1]);
        break;
    }
    if (OnMouseDown)
        OnMouseDown(pbx_, button, shift, x, y);
}

void tAlPreview::Print(int from, int to)
{
    if (GetPageCount() == 0)
        return;
    TAlPrinter &p = AlPrinter();
    TAlPrinterDevice &dev = p.Device();
    dev.SetOrientation(p.Orientation);
    dev.SetTitle(Title);
    if (!dev.Printing())
        dev.BeginDoc();
    try {
        // The page was recorded from the paper's corner; the printer's
        // canvas starts at the printable area, so the page begins before it.
        const TAlPrinterMetrics m = dev.Measure();
        const QRectF target(-m.OffsetX, -m.OffsetY, m.PrintableWidth - 1 + m.OffsetX,
                            m.PrintableHeight - 1 + m.OffsetY);
        for (int i = from; i <= to; ++i) {
            if (i > from)
                dev.NewPage();
            const TDrawMetaFile *page = pages_.GetPage(i - 1);
            if (!page)
                throw Exception(Format("List index out of bounds (%d)", {i - 1}));
            page->StretchDraw(dev.Canvas(), target);
        }
    } catch (...) {
        // A failed job is cancelled where the printer allows it, and closed.
        dev.AbortDoc();
        throw;
    }
    dev.EndDoc();
}
