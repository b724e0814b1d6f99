#pragma once
// The output device of every report: the printer object AlPrinter().
//
// In preview mode it records each page as a TDrawMetaFile at screen
// resolution into a page list; in printer mode it draws straight onto the
// printer device. The printer device is an interface, so the real printer
// (QPrinter through CUPS, or a PDF file) and a device with injected
// measurements (tests, and anything that wants printed pages as pictures)
// serve alike.
#include "controls/EnhListData.h"   // TPrinterOrientation
#include "platform/SysUtils.h"
#include "reports/DrawMeta.h"

#include <QPrinter>
#include <memory>
#include <string>
#include <vector>

// Paper sizes a report may name (for checking margins and the design view;
// the printed page is always the printer's own).
enum tPapersize : uint8_t { alr_A4, alr_A5, alr_Legal, alr_Letter };

// The printer's measurements, in the printer's device pixels.
struct TAlPrinterMetrics {
    int OffsetX = 0, OffsetY = 0;              // printable area from the paper's left and top edge
    int DpiX = 600, DpiY = 600;                // resolution
    int PhysicalWidth = 0, PhysicalHeight = 0; // the whole sheet
    int PrintableWidth = 0, PrintableHeight = 0;
    bool operator==(const TAlPrinterMetrics &) const = default;
};

// A printer: the source of the measurements and the surface of a direct
// print. Errors are raised as Exception.
class TAlPrinterDevice {
public:
    virtual ~TAlPrinterDevice();
    // The measurements for the current orientation.
    virtual TAlPrinterMetrics Measure() = 0;
    virtual void SetOrientation(TPrinterOrientation o) = 0;
    virtual void SetTitle(const std::string &title) = 0;
    // A document: BeginDoc opens page 1, NewPage each further page.
    virtual void BeginDoc() = 0;
    virtual void NewPage() = 0;
    virtual void EndDoc() = 0;
    // Ends the document after an error: the job is cancelled where the
    // printer allows it, and always closed. Never raises.
    virtual void AbortDoc() noexcept = 0;
    // The painter of the current page; coordinates are device pixels with
    // (0, 0) at the top-left corner of the printable area.
    virtual QPainter &Canvas() = 0;
    // 1-based number of the page being printed; 0 outside a document.
    virtual int PageNumber() const = 0;
    virtual bool Printing() const = 0;
};

// The real printer: a QPrinter (a CUPS queue, or a PDF file when its output
// file name is set).
class TQtPrinterDevice : public TAlPrinterDevice {
public:
    explicit TQtPrinterDevice(QPrinter::PrinterMode mode = QPrinter::HighResolution);
    ~TQtPrinterDevice() override;
    // For the printer set-up dialog and for choosing a PDF file.
    // After a failed or cancelled print the device makes itself a fresh
    // printer with the same choices, so take this anew for each use.
    QPrinter &Printer() { return *printer_; }

    TAlPrinterMetrics Measure() override;
    void SetOrientation(TPrinterOrientation o) override;
    void SetTitle(const std::string &title) override;
    void BeginDoc() override;
    void NewPage() override;
    void EndDoc() override;
    void AbortDoc() noexcept override;
    QPainter &Canvas() override;
    int PageNumber() const override { return pageNumber_; }
    bool Printing() const override { return painter_.isActive(); }

private:
    // Replaces the printer by one with the same settings: a printer whose
    // job failed or was cancelled may refuse every later change.
    void renewPrinter();

    QPrinter::PrinterMode mode_;
    std::unique_ptr<QPrinter> printer_;
    QPainter painter_;
    int pageNumber_ = 0;
};

// A printer with given measurements whose printed pages are recorded as
// pictures of the printable size (in device pixels). It can be told to fail
// at a chosen step, so that error paths can be walked.
class TPicturePrinterDevice : public TAlPrinterDevice {
public:
    // metrics are for portrait; landscape swaps widths, heights, offsets and
    // resolutions.
    explicit TPicturePrinterDevice(const TAlPrinterMetrics &portrait);
    ~TPicturePrinterDevice() override;

    TAlPrinterMetrics Measure() override;
    void SetOrientation(TPrinterOrientation o) override;
    void SetTitle(const std::string &title) override { title_ = title; }
    void BeginDoc() override;
    void NewPage() override;
    void EndDoc() override;
    void AbortDoc() noexcept override;
    QPainter &Canvas() override;
    int PageNumber() const override { return printing_ ? pages_.Count() : 0; }
    bool Printing() const override { return printing_; }

    // The pages of the last document (closed once it ended).
    const tPages &Pages() const { return pages_; }
    const std::string &Title() const { return title_; }
    TPrinterOrientation Orientation() const { return orientation_; }
    // Every call in order: "BeginDoc", "NewPage", "EndDoc", "AbortDoc".
    const std::vector<std::string> &Calls() const { return calls_; }
    // Raise an Exception when page number n (1-based) would be started.
    void FailAtPage(int n) { failAtPage_ = n; }

private:
    void startPage();
    TAlPrinterMetrics portrait_;
    TPrinterOrientation orientation_ = poPortrait;
    std::string title_;
    tPages pages_;
    bool printing_ = false;
    std::vector<std::string> calls_;
    int failAtPage_ = 0;
};

// The report output device.
class TAlPrinter {
public:
    TAlPrinter();
    ~TAlPrinter();
    TAlPrinter(const TAlPrinter &) = delete;
    TAlPrinter &operator=(const TAlPrinter &) = delete;

    bool PreviewMode = true;
    TPrinterOrientation Orientation = poPortrait;
    int OffsetX = 0, OffsetY = 0;
    int UnprintableRight = 0, UnprintableBottom = 0;
    int PageWidth = 0, PageHeight = 0;
    int DpiY = 0, DpiX = 0;
    tPapersize PaperSize = alr_A4;
    std::string Title;
    // Pixels per inch of the screen: the resolution of report designs and of
    // recorded pages. 96, the design resolution, unless set otherwise.
    int ScreenPixelsPerInch = 96;

    // The list that receives recorded pages: the printer's own list, or the
    // one handed to SetPages (not owned; nullptr goes back to the own list).
    tPages *Pages() const { return pages_; }
    void SetPages(tPages *pages);
    TDrawMetaFile *CurrentPage() const { return currentPage_; }

    // The printer. The default is a TQtPrinterDevice, made on first use.
    TAlPrinterDevice &Device();
    // Installs a printer (owned) and takes the measurements anew; returns the
    // previous one (nullptr when none was made yet).
    std::unique_ptr<TAlPrinterDevice> SetDevice(std::unique_ptr<TAlPrinterDevice> device);
    // The real printer when the device is one, nullptr otherwise.
    QPrinter *SystemPrinter();

    void CalcMeasurements();
    void SetOrientation(TPrinterOrientation o);
    void SetTitle(const std::string &title);
    void BeginDoc();
    void EndDoc();
    // Ends a run that failed: the open page is closed and the recorded pages
    // are freed (preview mode), or the print job is cancelled and closed
    // (printer mode). Never raises.
    void AbortDoc() noexcept;
    void NewPage();
    // Raises Exception "AlPrinter could not assign the Canvas" when there is
    // no page to draw on.
    QPainter &GetCanvas();
    int GetPageNumber();
    int GetPageCount() const;

    // Housekeeping of page lists that go away or are cleared.
    static void ForgetPages(tPages *pages);
    static void ForgetCurrentPage(tPages *pages);

private:
    void closeCurrentPage();
    static void releaseDevice();
    std::unique_ptr<TAlPrinterDevice> device_;
    tPages ownPages_;
    tPages *pages_ = &ownPages_;
    TDrawMetaFile *currentPage_ = nullptr;
};

// The single printer object, made on the first call.
TAlPrinter &AlPrinter();

// Round to the nearest integer, ties to even (the floating-point unit's
// rounding).
int AlRound(long double v);
// a * b / c rounded half away from zero, in 64-bit arithmetic.
int AlMulDiv(int a, int b, int c);
