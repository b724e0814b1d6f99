#include "reports/ReportTestUtil.h"

#include "common/TestUtil.h"

#include <QPageSize>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <QPainterPath>
#include <QTextItem>

namespace rt {

ScopedPrinter::ScopedPrinter(const TAlPrinterMetrics &m)
{
    auto dev = std::make_unique<TPicturePrinterDevice>(m);
    device_ = dev.get();
    TAlPrinter &p = AlPrinter();
    p.ScreenPixelsPerInch = 96;
    p.PreviewMode = true;
    p.Orientation = poPortrait;
    previous_ = p.SetDevice(std::move(dev));
}

ScopedPrinter::~ScopedPrinter()
{
    TAlPrinter &p = AlPrinter();
    p.SetPages(nullptr);
    p.PreviewMode = true;
    p.SetDevice(std::move(previous_));
}

TAlPrinterMetrics ScreenLike(int w, int h)
{
    TAlPrinterMetrics m;
    m.DpiX = m.DpiY = 96;
    m.PhysicalWidth = m.PrintableWidth = w;
    m.PhysicalHeight = m.PrintableHeight = h;
    return m;
}

TAlPrinterMetrics Laser()
{
    TAlPrinterMetrics m;
    m.DpiX = m.DpiY = 600;
    m.OffsetX = 100;
    m.OffsetY = 120;
    m.PrintableWidth = 4760;
    m.PrintableHeight = 6776;
    m.PhysicalWidth = 4960;
    m.PhysicalHeight = 7016;
    return m;
}

std::vector<Hit> ProbeField::hits;
int ProbeField::failAt = 0;

void ProbeField::PrintOut(const TRect &rect, const std::string &value)
{
    if (failAt > 0 && int(hits.size()) + 1 == failAt)
        throw Exception("probe failed");
    // Touch the canvas as a real control does, so the page exists.
    AlPrinter().GetCanvas();
    hits.push_back({Name(), rect, value, AlPrinter().GetPageNumber()});
}

namespace {

class RecordingEngine : public QPaintEngine {
public:
    explicit RecordingEngine(PageRecorder *dev) : QPaintEngine(QPaintEngine::AllFeatures), dev_(dev) {}
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState &s) override
    {
        if (s.state() & DirtyTransform)
            xf_ = s.transform();
        if (s.state() & DirtyBrush)
            brush_ = s.brush();
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawTextItem(const QPointF &p, const QTextItem &ti) override
    {
        dev_->texts.push_back({ti.text(), xf_.map(p), ti.font()});
    }
    void drawRects(const QRectF *r, int n) override
    {
        for (int i = 0; i < n; ++i)
            dev_->rects.push_back({xf_.mapRect(r[i]),
                                   brush_.style() == Qt::NoBrush ? QColor() : brush_.color()});
    }
    void drawRects(const QRect *r, int n) override
    {
        for (int i = 0; i < n; ++i) {
            const QRectF f(r[i]);
            drawRects(&f, 1);
        }
    }
    void drawLines(const QLineF *l, int n) override
    {
        for (int i = 0; i < n; ++i)
            dev_->lines.push_back(xf_.map(l[i]));
    }
    void drawLines(const QLine *l, int n) override
    {
        for (int i = 0; i < n; ++i)
            dev_->lines.push_back(xf_.map(QLineF(l[i])));
    }
    void drawPolygon(const QPointF *pts, int n, PolygonDrawMode mode) override
    {
        if (mode == PolylineMode) {
            for (int i = 0; i + 1 < n; ++i)
                dev_->lines.push_back(xf_.map(QLineF(pts[i], pts[i + 1])));
            return;
        }
        const QRectF r = QPolygonF(QList<QPointF>(pts, pts + n)).boundingRect();
        drawRects(&r, 1);
    }
    void drawPath(const QPainterPath &path) override
    {
        // A path of one straight segment is a line; anything else counts by
        // its bounds.
        if (path.elementCount() == 2 && path.elementAt(1).isLineTo()) {
            dev_->lines.push_back(xf_.map(QLineF(path.elementAt(0), path.elementAt(1))));
            return;
        }
        const QRectF r = path.boundingRect();
        drawRects(&r, 1);
    }

private:
    PageRecorder *dev_;
    QTransform xf_;
    QBrush brush_;
};

} // namespace

PageRecorder::PageRecorder(int w, int h) : w_(w), h_(h), engine_(new RecordingEngine(this)) {}

PageRecorder::~PageRecorder() = default;

QPaintEngine *PageRecorder::paintEngine() const
{
    return engine_.get();
}

int PageRecorder::metric(PaintDeviceMetric m) const
{
    switch (m) {
    case PdmWidth: return w_;
    case PdmHeight: return h_;
    case PdmWidthMM: return w_ * 254 / 960;
    case PdmHeightMM: return h_ * 254 / 960;
    case PdmNumColors: return 0x7fffffff;
    case PdmDepth: return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY: return 96;
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
    default: return QPaintDevice::metric(m);
    }
}

std::unique_ptr<PageRecorder> PageRecorder::Play(const TDrawMetaFile &page)
{
    auto rec = std::make_unique<PageRecorder>(page.Width(), page.Height());
    QPainter p(rec.get());
    const_cast<QPicture &>(page.Picture()).play(&p);
    p.end();
    return rec;
}

QString PageRecorder::AllText() const
{
    QStringList l;
    for (const TextOp &t : texts)
        l << t.text;
    return l.join(u'|');
}

double pt(int px)
{
    return px * 72.0 / 600.0;
}

PdfPrinter::PdfPrinter(const std::string &file)
{
    auto dev = std::make_unique<TQtPrinterDevice>(QPrinter::HighResolution);
    QPrinter &q = dev->Printer();
    q.setOutputFormat(QPrinter::PdfFormat);
    q.setOutputFileName(QString::fromStdString(file));
    q.setResolution(600);
    q.setPageSize(QPageSize(QPageSize::A4));
    q.setPageMargins(QMarginsF(10, 12, 10, 12), QPageLayout::Millimeter);
    device = dev.get();
    AlPrinter().ScreenPixelsPerInch = 96;
    previous_ = AlPrinter().SetDevice(std::move(dev));
}

PdfPrinter::~PdfPrinter()
{
    AlPrinter().PreviewMode = true;
    AlPrinter().SetPages(nullptr);
    AlPrinter().SetDevice(std::move(previous_));
}

} // namespace rt
