#include "reports/AlPrinter.h"
#include "platform/Cp1252.h"

#include <QCoreApplication>
#include <QFile>
#include <QPageLayout>
#include <cfenv>
#include <cmath>
#include <cstdlib>

int AlRound(long double v)
{
    // nearbyint follows the current rounding mode, which is to-nearest-even
    // unless someone changed it; make sure of it.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyint(v);
    if (mode != FE_TONEAREST)
        std::fesetround(mode);
    return int(r);
}

int AlMulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long p = (long long)a * b;
    long long q = std::llabs(p) / std::llabs((long long)c);
    const long long rem = std::llabs(p) % std::llabs((long long)c);
    if (2 * rem >= std::llabs((long long)c))
        ++q;
    return int(((p < 0) != (c < 0)) ? -q : q);
}

// ---- devices -------------------------------------------------------------------

TAlPrinterDevice::~TAlPrinterDevice() = default;

TQtPrinterDevice::TQtPrinterDevice(QPrinter::PrinterMode mode)
    : mode_(mode), printer_(std::make_unique<QPrinter>(mode))
{
}

void TQtPrinterDevice::renewPrinter()
{
    const QPrinter &old = *printer_;
    auto fresh = std::make_unique<QPrinter>(mode_);
    fresh->setOutputFormat(old.outputFormat());
    if (old.outputFormat() == QPrinter::NativeFormat)
        fresh->setPrinterName(old.printerName());
    fresh->setOutputFileName(old.outputFileName());
    fresh->setResolution(old.resolution());
    fresh->setPageLayout(old.pageLayout());
    fresh->setFullPage(old.fullPage());
    fresh->setCopyCount(old.copyCount());
    fresh->setCollateCopies(old.collateCopies());
    fresh->setColorMode(old.colorMode());
    fresh->setDuplex(old.duplex());
    fresh->setPageOrder(old.pageOrder());
    fresh->setDocName(old.docName());
    printer_ = std::move(fresh);
}

TQtPrinterDevice::~TQtPrinterDevice()
{
    AbortDoc();
}

TAlPrinterMetrics TQtPrinterDevice::Measure()
{
    const int res = printer_->resolution();
    const QPageLayout layout = printer_->pageLayout();
    const QRect full = layout.fullRectPixels(res);
    const QRect paint = layout.paintRectPixels(res);
    TAlPrinterMetrics m;
    m.DpiX = m.DpiY = res;
    m.OffsetX = paint.left() - full.left();
    m.OffsetY = paint.top() - full.top();
    m.PhysicalWidth = full.width();
    m.PhysicalHeight = full.height();
    m.PrintableWidth = paint.width();
    m.PrintableHeight = paint.height();
    return m;
}

void TQtPrinterDevice::SetOrientation(TPrinterOrientation o)
{
    printer_->setPageOrientation(o == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void TQtPrinterDevice::SetTitle(const std::string &title)
{
    printer_->setDocName(FromAnsi(title));
}

void TQtPrinterDevice::BeginDoc()
{
    if (painter_.isActive())
        throw Exception("Printing in progress");
    if (!painter_.begin(printer_.get())) {
        const bool toFile = printer_->outputFormat() == QPrinter::PdfFormat && !printer_->outputFileName().isEmpty();
        const std::string file = QFile::encodeName(printer_->outputFileName()).toStdString();
        renewPrinter();
        if (toFile)
            throw Exception("Cannot create file " + file);
        throw Exception("Printer selected is not valid");
    }
    pageNumber_ = 1;
}

void TQtPrinterDevice::NewPage()
{
    if (!painter_.isActive())
        throw Exception("Printer is not currently printing");
    if (!printer_->newPage())
        throw Exception("The printer could not start a new page");
    ++pageNumber_;
}

void TQtPrinterDevice::EndDoc()
{
    if (!painter_.isActive())
        throw Exception("Printer is not currently printing");
    const bool ok = painter_.end();
    pageNumber_ = 0;
    if (!ok) {
        renewPrinter();
        throw Exception("The printer could not finish the document");
    }
}

void TQtPrinterDevice::AbortDoc() noexcept
{
    if (painter_.isActive()) {
        printer_->abort();
        painter_.end();
        renewPrinter();
    }
    pageNumber_ = 0;
}

QPainter &TQtPrinterDevice::Canvas()
{
    if (!painter_.isActive())
        throw Exception("Printer is not currently printing");
    return painter_;
}

TPicturePrinterDevice::TPicturePrinterDevice(const TAlPrinterMetrics &portrait)
    : portrait_(portrait)
{
}

TPicturePrinterDevice::~TPicturePrinterDevice() = default;

TAlPrinterMetrics TPicturePrinterDevice::Measure()
{
    if (orientation_ == poPortrait)
        return portrait_;
    TAlPrinterMetrics m;
    m.OffsetX = portrait_.OffsetY;
    m.OffsetY = portrait_.OffsetX;
    m.DpiX = portrait_.DpiY;
    m.DpiY = portrait_.DpiX;
    m.PhysicalWidth = portrait_.PhysicalHeight;
    m.PhysicalHeight = portrait_.PhysicalWidth;
    m.PrintableWidth = portrait_.PrintableHeight;
    m.PrintableHeight = portrait_.PrintableWidth;
    return m;
}

void TPicturePrinterDevice::SetOrientation(TPrinterOrientation o)
{
    orientation_ = o;
}

void TPicturePrinterDevice::startPage()
{
    if (failAtPage_ > 0 && pages_.Count() + 1 == failAtPage_)
        throw Exception("Printer failed at page " + std::to_string(failAtPage_));
    if (TDrawMetaFile *last = pages_.GetPage(pages_.Count() - 1))
        last->Close();
    const TAlPrinterMetrics m = Measure();
    pages_.Add(std::make_unique<TDrawMetaFile>(m.PrintableWidth, m.PrintableHeight));
}

void TPicturePrinterDevice::BeginDoc()
{
    calls_.push_back("BeginDoc");
    if (printing_)
        throw Exception("Printing in progress");
    pages_.Clear();
    startPage();
    printing_ = true;
}

void TPicturePrinterDevice::NewPage()
{
    calls_.push_back("NewPage");
    if (!printing_)
        throw Exception("Printer is not currently printing");
    startPage();
}

void TPicturePrinterDevice::EndDoc()
{
    calls_.push_back("EndDoc");
    if (!printing_)
        throw Exception("Printer is not currently printing");
    if (TDrawMetaFile *last = pages_.GetPage(pages_.Count() - 1))
        last->Close();
    printing_ = false;
}

void TPicturePrinterDevice::AbortDoc() noexcept
{
    calls_.push_back("AbortDoc");
    for (int i = 0; i < pages_.Count(); ++i)
        pages_.GetPage(i)->Close();
    printing_ = false;
}

QPainter &TPicturePrinterDevice::Canvas()
{
    TDrawMetaFile *last = pages_.GetPage(pages_.Count() - 1);
    if (!printing_ || !last || !last->Canvas())
        throw Exception("Printer is not currently printing");
    return *last->Canvas();
}

// ---- the printer object -----------------------------------------------------------

namespace {
TAlPrinter *g_printer = nullptr;
}

TAlPrinter &AlPrinter()
{
    static TAlPrinter printer;
    return printer;
}

TAlPrinter::TAlPrinter()
{
    g_printer = this;
    // Measurements are taken when the device is first needed, so that
    // making the object never blocks on a printer query.
}

TAlPrinter::~TAlPrinter()
{
    closeCurrentPage();
    if (g_printer == this)
        g_printer = nullptr;
}

void TAlPrinter::ForgetPages(tPages *pages)
{
    if (g_printer && g_printer->pages_ == pages && pages != &g_printer->ownPages_) {
        g_printer->closeCurrentPage();
        g_printer->pages_ = &g_printer->ownPages_;
    }
}

void TAlPrinter::ForgetCurrentPage(tPages *pages)
{
    if (g_printer && g_printer->pages_ == pages)
        g_printer->closeCurrentPage();
}

void TAlPrinter::releaseDevice()
{
    if (g_printer && dynamic_cast<TQtPrinterDevice *>(g_printer->device_.get()))
        g_printer->device_.reset();
}

void TAlPrinter::SetPages(tPages *pages)
{
    if (!pages)
        pages = &ownPages_;
    if (pages == pages_)
        return;
    closeCurrentPage();
    pages_ = pages;
}

TAlPrinterDevice &TAlPrinter::Device()
{
    if (!device_) {
        device_ = std::make_unique<TQtPrinterDevice>();
        device_->SetOrientation(Orientation);
        // The printer goes with the application object, not after it.
        qAddPostRoutine(&TAlPrinter::releaseDevice);
    }
    return *device_;
}

std::unique_ptr<TAlPrinterDevice> TAlPrinter::SetDevice(std::unique_ptr<TAlPrinterDevice> device)
{
    std::swap(device, device_);
    if (device_) {
        device_->SetOrientation(Orientation);
        CalcMeasurements();
    }
    return device;
}

QPrinter *TAlPrinter::SystemPrinter()
{
    auto *qt = dynamic_cast<TQtPrinterDevice *>(&Device());
    return qt ? &qt->Printer() : nullptr;
}

void TAlPrinter::CalcMeasurements()
{
    const TAlPrinterMetrics m = Device().Measure();
    OffsetX = m.OffsetX;
    OffsetY = m.OffsetY;
    UnprintableRight = m.PhysicalWidth - m.OffsetX - m.PrintableWidth;
    UnprintableBottom = m.PhysicalHeight - m.OffsetY - m.PrintableHeight;
    if (PreviewMode) {
        DpiY = DpiX = ScreenPixelsPerInch;
        // The product in integers, the division in floating point.
        const long long w = (long long)(m.PrintableWidth + m.OffsetX) * DpiX;
        const long long h = (long long)(m.PrintableHeight + m.OffsetY) * DpiY;
        PageWidth = m.DpiX > 0 ? AlRound((long double)w / m.DpiX) : 0;
        PageHeight = m.DpiY > 0 ? AlRound((long double)h / m.DpiY) : 0;
        OffsetX = OffsetY = UnprintableRight = UnprintableBottom = 0;
    } else {
        DpiY = m.DpiY;
        DpiX = m.DpiX;
        PageWidth = m.PrintableWidth;
        PageHeight = m.PrintableHeight;
    }
}

void TAlPrinter::SetOrientation(TPrinterOrientation o)
{
    Orientation = o;
    Device().SetOrientation(o);
    CalcMeasurements();
}

void TAlPrinter::SetTitle(const std::string &title)
{
    Title = title;
    if (!PreviewMode)
        Device().SetTitle(title);
}

void TAlPrinter::BeginDoc()
{
    if (PreviewMode) {
        closeCurrentPage();
        pages_->Clear();
    } else {
        Device().BeginDoc();
    }
}

void TAlPrinter::EndDoc()
{
    if (PreviewMode)
        closeCurrentPage();
    else
        Device().EndDoc();
}

void TAlPrinter::AbortDoc() noexcept
{
    if (PreviewMode) {
        closeCurrentPage();
        pages_->Clear();
    } else if (device_) {
        device_->AbortDoc();
    }
}

void TAlPrinter::closeCurrentPage()
{
    if (currentPage_) {
        currentPage_->Close();
        currentPage_ = nullptr;
    }
}

void TAlPrinter::NewPage()
{
    if (PreviewMode) {
        closeCurrentPage();
        currentPage_ = pages_->Add(std::make_unique<TDrawMetaFile>(PageWidth, PageHeight));
    } else {
        Device().NewPage();
    }
}

QPainter &TAlPrinter::GetCanvas()
{
    if (PreviewMode) {
        if (!currentPage_)
            NewPage();
        if (!currentPage_ || !currentPage_->Canvas())
            throw Exception("AlPrinter could not assign the Canvas");
        return *currentPage_->Canvas();
    }
    return Device().Canvas();
}

int TAlPrinter::GetPageNumber()
{
    if (PreviewMode)
        return pages_->Count();
    return Device().PageNumber();
}

int TAlPrinter::GetPageCount() const
{
    return PreviewMode ? pages_->Count() : 0;
}
