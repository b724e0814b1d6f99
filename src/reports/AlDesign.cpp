#include "reports/AlDesign.h"

#include "platform/Rtl.h"
#include "reports/AlImage.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

using namespace Rtl;

std::function<void()> DesignBeep = [] { QApplication::beep(); };

namespace {

int screenPpi(const QWidget *w)
{
    return w->logicalDpiX() > 0 ? w->logicalDpiX() : 96;
}

} // namespace

void PaintBandDesign(QPainter &painter, const tAlBand &band, int ppi)
{
    painter.save();
    QFont font("Arial");
    font.setPointSize(8);
    painter.setFont(font);
    const QColor silver = ColorToQColor(clSilver);
    painter.setPen(QPen(silver, 1, Qt::DashLine));
    auto text = [&](int x, int y, const std::string &s) {
        painter.drawText(QRect(x, y, 1000, 100), Qt::AlignLeft | Qt::AlignTop, QString::fromLatin1(s.c_str()));
    };
    const tAlRulerType ruler = band.Ruler();
    if (ruler == alr_cmHV || ruler == alr_cmV) {
        const int n = AlRound((long double)band.Width * 2.54L / ppi);
        for (int i = 1; i <= n; ++i) {
            const int x = AlRound((long double)ppi * i / 2.54L);
            painter.drawLine(x, 0, x, band.Height);
            text(x + 2, 0, IntToStr(i) + "cm");
            text(0, 10, Alrep::BandTypeName(band.BandType()));
        }
    }
    if (ruler == alr_cmH || ruler == alr_cmHV) {
        const int m = AlRound((long double)band.Height * 2.54L / ppi);
        for (int i = 1; i <= m; ++i) {
            const int y = AlRound((long double)ppi * i / 2.54L);
            painter.drawLine(0, y, band.Width, y);
            text(0, y + 2, IntToStr(i) + "cm");
        }
    }
    if (band.Columns() > 1) {
        const int x = AlRound((long double)ppi * band.ColWidthMM() / 25.4L);
        if (x < band.Width)
            painter.fillRect(QRect(x, 0, band.Width - x, band.Height), QBrush(silver, Qt::DiagCrossPattern));
    }
    const TAlReport *report = band.Owner() ? FindReportComponent(*band.Owner()) : nullptr;
    if (report) {
        const int x = AlRound((long double)ppi *
                              (report->GetPaperWidth() - report->LeftMarginMM() - report->RightMarginMM()) / 25.4L);
        painter.setPen(QPen(ColorToQColor(clRed), 1, Qt::DashDotLine));
        painter.drawLine(x, 0, x, band.Height);
    } else if (DesignBeep) {
        DesignBeep();
    }
    painter.restore();
}

// ---- the view -----------------------------------------------------------------------

TAlDesignView::TAlDesignView(TAlReportForm &form, QWidget *parent) : QWidget(parent), form_(form)
{
    form_.Designing = true;
    setAutoFillBackground(true);
    resize(sizeHint());
}

TAlDesignView::~TAlDesignView()
{
    form_.Designing = false;
}

std::vector<std::pair<const tAlBand *, int>> TAlDesignView::BandPositions() const
{
    std::vector<const tAlBand *> bands;
    form_.ForEach<tAlBand>([&](const tAlBand *b) { bands.push_back(b); });
    std::stable_sort(bands.begin(), bands.end(), [](const tAlBand *a, const tAlBand *b) { return a->Top < b->Top; });
    std::vector<std::pair<const tAlBand *, int>> out;
    int y = 0;
    for (const tAlBand *b : bands) {
        out.emplace_back(b, y);
        y += b->Height;
    }
    return out;
}

QSize TAlDesignView::sizeHint() const
{
    int w = 0, h = 0;
    for (const auto &[band, y] : BandPositions()) {
        w = std::max(w, band->Width);
        h = y + band->Height;
    }
    return QSize(w, h);
}

void TAlDesignView::paintBand(QPainter &p, const tAlBand &band) const
{
    p.fillRect(QRect(0, 0, band.Width, band.Height), ColorToQColor(band.Color));
    const int ppi = screenPpi(this);
    for (const tAlControl *c : band.Controls()) {
        p.save();
        p.translate(c->Left, c->Top);
        if (auto *s = dynamic_cast<const TAlShape *>(c)) {
            TAlShape::DrawShape(p, s->Shape, s->Pen, s->Brush, TRect(0, 0, s->Width, s->Height));
        } else if (auto *img = dynamic_cast<const tAlImage *>(c)) {
            img->Paint(p);
        } else if (auto *l = dynamic_cast<const TAlLabel *>(c)) {
            unsigned flags = DT_EXPANDTABS | (l->WordWrap ? DT_WORDBREAK : 0u);
            if (l->Alignment == taRightJustify)
                flags |= DT_RIGHT;
            else if (l->Alignment == taCenter)
                flags |= DT_CENTER;
            TRect r(0, 0, l->Width, l->Height);
            AlDrawText(&p, l->Caption, r, flags, AlDeviceFont(l->Font(), ppi), l->Font().Color);
        }
        p.restore();
    }
    PaintBandDesign(p, band, ppi);
}

void TAlDesignView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    for (const auto &[band, y] : BandPositions()) {
        p.save();
        p.translate(0, y);
        p.setClipRect(QRect(0, 0, band->Width, band->Height));
        paintBand(p, *band);
        p.restore();
    }
}
