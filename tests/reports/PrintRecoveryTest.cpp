// Printing from the preview window to the real printer object after a
// failed print: the next choice in Printer Setup takes effect and prints.
#include "common/TestUtil.h"
#include "platform/ScriptedDialogs.h"
#include "reports/Preview.h"
#include "reports/ReportTestUtil.h"
#include "reports/alprev.h"
#include "ui_Preview.h"

#include <QPrinter>
#include <QTest>
#include <gtest/gtest.h>

using namespace rt;

namespace {

// Warnings Qt logs while the test runs (the printer's refusals among them).
QStringList g_warnings;
QtMessageHandler g_previousHandler = nullptr;
void recordWarning(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    if (type == QtWarningMsg)
        g_warnings << msg;
    g_previousHandler(type, ctx, msg);
}

class PrintRecovery : public ::testing::Test {
protected:
    PrintRecovery() : use(dialogs)
    {
        report = form.Add<TAlReport>("Report");
        auto *band = form.Add<tAlBand>("Band");
        band->SetBounds(0, 0, 794, 200);
        auto *label = form.Add<TAlLabel>("Label", band);
        label->SetBounds(40, 40, 200, 20);
        label->Caption = "Recovered";
        TAlPrinter &p = AlPrinter();
        p.ScreenPixelsPerInch = 96;
        p.PreviewMode = true;
        p.Orientation = poPortrait;
        // The printer the program makes for itself.
        previous = p.SetDevice(std::make_unique<TQtPrinterDevice>());
        g_warnings.clear();
        g_previousHandler = qInstallMessageHandler(recordWarning);
    }
    ~PrintRecovery() override
    {
        qInstallMessageHandler(g_previousHandler);
        PreviewShowModal = nullptr;
        TAlPrinter &p = AlPrinter();
        p.SetPages(nullptr);
        p.PreviewMode = true;
        p.SetDevice(std::move(previous));
    }
    // Printer Setup answered with the given choice made in the dialog.
    void setupChooses(std::function<void(QPrinter &)> choice)
    {
        dialogs.AnswerPrinter(true);
        dialogs.OnCall = [choice](const ScriptedDialogs::Call &c) {
            if (c.kind == ScriptedDialogs::Kind::PrinterSetup)
                choice(*c.printer);
        };
    }
    // The messages shown while the button's click ran.
    std::vector<std::string> errorsAfter(QToolButton *button)
    {
        const size_t before = dialogs.MessageBoxes().size();
        QTest::mouseClick(button, Qt::LeftButton);
        std::vector<std::string> texts;
        const auto boxes = dialogs.MessageBoxes();
        for (size_t i = before; i < boxes.size(); ++i)
            texts.push_back(boxes[i].text);
        return texts;
    }

    testutil::TempDir dir;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use;
    TAlReportForm form;
    TAlReport *report;
    std::unique_ptr<TAlPrinterDevice> previous;
};

TEST_F(PrintRecovery, AFailedPrintLeavesThePrinterReadyForTheNextChoice)
{
    const std::string pdf = dir.file("cover.pdf");
    PreviewShowModal = [&](TPreviewForm &w) {
        w.show();
        // A printer queue that does not exist.
        setupChooses([](QPrinter &q) {
            q.setOutputFormat(QPrinter::NativeFormat);
            q.setPrinterName("NoSuchQueue");
        });
        QTest::mouseClick(w.ui->PrinterSetupBtn, Qt::LeftButton);
        dialogs.AnswerButton(Dialogs::Button::OK);
        EXPECT_EQ(errorsAfter(w.ui->PrintBtn), std::vector<std::string>{"Printer selected is not valid"});

        // Print to a file in a folder that does not exist.
        const std::string missing = dir.file("gone/cover.pdf");
        setupChooses([&](QPrinter &q) {
            q.setOutputFormat(QPrinter::PdfFormat);
            q.setOutputFileName(QString::fromStdString(missing));
        });
        QTest::mouseClick(w.ui->PrinterSetupBtn, Qt::LeftButton);
        dialogs.AnswerButton(Dialogs::Button::OK);
        EXPECT_EQ(errorsAfter(w.ui->PrintBtn), std::vector<std::string>{"Cannot create file " + missing});

        // Then a file that can be written.
        setupChooses([&](QPrinter &q) {
            q.setOutputFormat(QPrinter::PdfFormat);
            q.setOutputFileName(QString::fromStdString(pdf));
        });
        QTest::mouseClick(w.ui->PrinterSetupBtn, Qt::LeftButton);
        EXPECT_EQ(errorsAfter(w.ui->PrintBtn), std::vector<std::string>{});
        QTest::mouseClick(w.ui->CloseBtn, Qt::LeftButton);
    };
    PreviewReport(*report);
    EXPECT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::PrinterSetup).size(), 3u);
    EXPECT_EQ(dialogs.UnscriptedCount(), 0);
    ASSERT_TRUE(testutil::fileExists(pdf));
    EXPECT_NE(testutil::find(pdfWords(pdf), "Recovered"), nullptr);
    for (const QString &w : g_warnings)
        EXPECT_FALSE(w.contains("while printer is active")) << w.toStdString();
}

// A print cancelled half-way leaves the printer open to a new file.
TEST_F(PrintRecovery, ACancelledPrintLeavesThePrinterReadyForAnotherFile)
{
    TQtPrinterDevice dev;
    dev.Printer().setOutputFormat(QPrinter::PdfFormat);
    dev.Printer().setOutputFileName(QString::fromStdString(dir.file("first.pdf")));
    dev.BeginDoc();
    dev.Canvas().drawText(100, 100, "Cancelled");
    dev.AbortDoc();
    const std::string second = dir.file("second.pdf");
    dev.Printer().setOutputFileName(QString::fromStdString(second));
    EXPECT_EQ(dev.Printer().outputFileName().toStdString(), second);
    dev.BeginDoc();
    dev.Canvas().drawText(100, 100, "Second");
    dev.EndDoc();
    EXPECT_NE(testutil::find(pdfWords(second), "Second"), nullptr);
    for (const QString &w : g_warnings)
        EXPECT_FALSE(w.contains("while printer is active")) << w.toStdString();
}

} // namespace
