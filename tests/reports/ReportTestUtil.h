#pragma once
// Helpers of the report tests: a printer with injected measurements, a
// control that records where it was printed, and a paint device that lists
// what a recorded page draws.
#include "common/PdfText.h"
#include "reports/Alrep.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPicture>
#include <memory>
#include <string>
#include <vector>

namespace rt {

// Installs a TPicturePrinterDevice with the given measurements as the
// printer of AlPrinter() for the life of the object (preview mode, screen at
// 96 pixels per inch), and puts the printer object back afterwards.
class ScopedPrinter {
public:
    explicit ScopedPrinter(const TAlPrinterMetrics &m);
    ~ScopedPrinter();
    TPicturePrinterDevice &Device() { return *device_; }
private:
    TPicturePrinterDevice *device_;
    std::unique_ptr<TAlPrinterDevice> previous_;
};

// 96 dots per inch, an A4-like printable area of w x h with no offsets.
TAlPrinterMetrics ScreenLike(int w = 794, int h = 1123);
// 600 dots per inch with offsets, as a laser printer reports.
TAlPrinterMetrics Laser();

// One print of a probe control.
struct Hit {
    std::string name;
    TRect rect;
    std::string value;
    int page = 0;
};

// A field that records each print instead of drawing (it still takes part
// in rows through its values).
class ProbeField : public TAlField {
public:
    using TAlField::TAlField;
    void PrintOut(const TRect &rect, const std::string &value) override;
    static std::vector<Hit> hits;
    // Throws Exception when printed for the n-th time (1-based); 0: never.
    static int failAt;
};

// What a page draws, in page coordinates.
struct TextOp {
    QString text;
    QPointF baseline;
    QFont font;
};
struct RectOp {
    QRectF rect;
    QColor brush;   // invalid for no brush
};
class PageRecorder : public QPaintDevice {
public:
    PageRecorder(int w, int h);
    ~PageRecorder() override;
    QPaintEngine *paintEngine() const override;
    std::vector<TextOp> texts;
    std::vector<RectOp> rects;
    std::vector<QLineF> lines;
    // Plays a recorded page into a new recorder.
    static std::unique_ptr<PageRecorder> Play(const TDrawMetaFile &page);
    // The texts joined with "|" in drawing order.
    QString AllText() const;
protected:
    int metric(PaintDeviceMetric m) const override;
private:
    int w_, h_;
    std::unique_ptr<QPaintEngine> engine_;
};

// ---- printed PDF files -----------------------------------------------------------

using testutil::Word;
using testutil::pdfWords;
using testutil::find;
// Device pixels at 600 per inch to points.
double pt(int px);

// A real printer writing a PDF file, installed as the printer of AlPrinter()
// for the life of the object: A4 at 600 dots per inch with margins, so that
// the printing offset matters.
class PdfPrinter {
public:
    explicit PdfPrinter(const std::string &file);
    ~PdfPrinter();
    TQtPrinterDevice *device;
private:
    std::unique_ptr<TAlPrinterDevice> previous_;
};

} // namespace rt
