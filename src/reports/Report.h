#pragma once
// The tape's cover report (an insert card with the track lists of both
// sides, their playing times and the titles of the CDs used), and what it
// shares with the tape's program report: the values read from the main
// window and the building of a one-band report form.
#include "reports/Alrep.h"
#include "platform/Classes.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

class QWidget;

// What the tape reports read from the main window.
struct TTapeReportSource {
    // Captions of the side lists' items in list order: "CDn Tk - title".
    std::vector<std::string> SideA, SideB;
    // Time still free on each side, "mm:ss".
    std::string RemainingA = "00:00", RemainingB = "00:00";
    // The tape-length selector's text, " 90 min".
    std::string TapeLen;
    // The three CD selectors' texts; empty when no disc is chosen.
    std::array<std::string, 3> CDSelect;
    // The main window's time conversions ("mm:ss" to seconds and back).
    std::function<int(const std::string &)> TimeToSeconds;
    std::function<std::string(int)> SecondsToTime;
};

// The title part of a side item's caption: from two characters after the
// first "-" to the end (the caption less its first character without "-").
std::string TrackTitleFromCaption(const std::string &caption);
// The reference part: the characters before " - " ("CD1 T3").
std::string TrackRefFromCaption(const std::string &caption);
// Tape minutes of the tape-length text (" 90 min" gives 90; 54 when the
// text holds no number there).
int TapeMinutes(const std::string &tapeLen);

// A report form holding one title band on an A4 portrait report with no
// margins, and the memo that joins the lines of a side.
class TTapeRepForm : public TAlReportForm {
public:
    TTapeRepForm(const std::string &formName, const std::string &reportName,
                 const std::string &reportTitle, int bandHeight);
    TAlReport *Report = nullptr;
    tAlBand *AlBand1 = nullptr;
    // Joins a side's lines: each line followed by CR LF. Never printed.
    TStringList TracksABMemo;

    // Fills the report's named values from the main window's state.
    virtual void Fill(const TTapeReportSource &source) = 0;
    // Fills the report and shows it in a new preview window.
    void PreviewTape(const TTapeReportSource &source, QWidget *parent = nullptr);

protected:
    // Adds the memo's text for a side under name: each item i (1-based)
    // gives line(i, caption).
    void AddSide(const std::string &name, const std::vector<std::string> &captions,
                 const std::function<std::string(int, const std::string &)> &line);

    TAlShape *AddShape(const std::string &name, int l, int t, int w, int h, int penWidth = 1,
                       TBrushStyle brush = bsSolid, TPenMode mode = pmCopy);
    // Labels and fields: Arial in the window-text colour, transparent.
    template <class T>
    T *AddText(const std::string &name, int l, int t, int w, int h, const std::string &caption,
               int fontHeight, uint8_t style, bool autoSize, bool wordWrap = false,
               TAlignment align = taLeftJustify)
    {
        T *c = Add<T>(name, AlBand1);
        c->SetBounds(l, t, w, h);
        c->Caption = caption;
        TAlFont f;
        f.Name = "Arial";
        f.SetHeight(fontHeight);
        f.Style = style;
        c->SetFont(f);
        c->AutoSize = autoSize;
        c->WordWrap = wordWrap;
        c->Alignment = align;
        c->Transparent = true;
        return c;
    }
};

class TTapeCoverRepForm : public TTapeRepForm {
public:
    TTapeCoverRepForm();
    ~TTapeCoverRepForm();
    TAlReport *TapeCoverReport() const { return Report; }
    void Fill(const TTapeReportSource &source) override;
};

extern TTapeCoverRepForm *TapeCoverRepForm;
