#include "reports/Report.h"

#include "platform/Rtl.h"

using namespace Rtl;
#include "reports/Preview.h"

TTapeCoverRepForm *TapeCoverRepForm = nullptr;

std::string TrackTitleFromCaption(const std::string &caption)
{
    return Copy(caption, Pos("-", caption) + 2);
}

std::string TrackRefFromCaption(const std::string &caption)
{
    return Copy(caption, 1, Pos("-", caption) - 2);
}

int TapeMinutes(const std::string &tapeLen)
{
    return StrToIntDef(Copy(tapeLen, 2, LastDelimiter(" ", tapeLen) - 2), 54);
}

// ---- the one-band report form ------------------------------------------------------

TTapeRepForm::TTapeRepForm(const std::string &formName, const std::string &reportName,
                           const std::string &reportTitle, int bandHeight)
{
    Name = formName;
    Report = Add<TAlReport>(reportName);
    Report->SetOrientation(poPortrait);
    Report->SetPapersize(alr_A4);
    Report->SetLeftMargin(0);
    Report->SetRightMargin(0);
    Report->ReportTitle = reportTitle;
    AlBand1 = Add<tAlBand>("tAlBand1");
    AlBand1->SetBandType(alr_Title);
    AlBand1->SetBounds(0, 0, 794, bandHeight);
    AlBand1->Align = alTop;
    AlBand1->Color = clWhite;
    AlBand1->SetRulerTyp(alr_cmHV);
    AlBand1->ClipMode = cm_Overwrite;
    AlBand1->SetColWidth(0);
    AlBand1->SetColumns(1);
    AlBand1->AltColor = false;
    AlBand1->SetFirstPageHeaderOnly(false);
    AlBand1->SetNotFirstPageHeader(false);
}

void TTapeRepForm::AddSide(const std::string &name, const std::vector<std::string> &captions,
                           const std::function<std::string(int, const std::string &)> &line)
{
    TracksABMemo.Clear();
    for (size_t i = 0; i < captions.size(); ++i)
        TracksABMemo.Add(line(int(i) + 1, captions[i]));
    Report->AddNamedValue(name, TracksABMemo.Text());
}

TAlShape *TTapeRepForm::AddShape(const std::string &name, int l, int t, int w, int h, int penWidth,
                                 TBrushStyle brush, TPenMode mode)
{
    auto *s = Add<TAlShape>(name, AlBand1);
    s->SetBounds(l, t, w, h);
    s->Shape = stRectangle;
    s->Pen.Color = clBlack;
    s->Pen.Width = penWidth;
    s->Pen.Mode = mode;
    s->Brush.Color = clWhite;
    s->Brush.Style = brush;
    return s;
}

void TTapeRepForm::PreviewTape(const TTapeReportSource &source, QWidget *parent)
{
    Fill(source);
    PreviewReport(*Report, parent);
}

// ---- the cover ---------------------------------------------------------------------

TTapeCoverRepForm::TTapeCoverRepForm() : TTapeRepForm("TapeCoverRepForm", "TapeCoverReport", "TAPECOVER", 485)
{
    const uint8_t bold = fsBold, boldItalic = fsBold | fsItalic;
    AddShape("AlShape3", 40, 76, 389, 365, 3, bsClear);
    AddShape("AlShape7", 40, 404, 237, 21, 1, bsSolid, pmMask);
    AddShape("AlShape6", 40, 384, 237, 21, 1, bsSolid, pmMask);
    AddShape("AlShape5", 276, 384, 145, 41, 2, bsSolid, pmMask);
    AddShape("AlShape4", 40, 324, 389, 49, 3, bsClear);
    AddShape("AlShape1", 40, 76, 389, 29, 3, bsVertical);
    AddText<TAlLabel>("SideALbl", 44, 80, 53, 19, "SIDE A", -16, bold, true);
    AddText<TAlLabel>("SideBLbl", 368, 80, 54, 19, "SIDE B", -16, bold, true);
    AddShape("AlShape2", 231, 76, 1, 248, 2);
    AddText<TAlField>("TracksA", 44, 108, 185, 213, "TracksA", -12, 0, false, true);
    AddText<TAlField>("TracksB", 238, 108, 185, 213, "TracksB", -12, 0, false, true, taRightJustify);
    AddText<TAlLabel>("TotPlayALbl", 48, 386, 131, 16, "Playing Time Side A:", -13, boldItalic, true);
    AddText<TAlLabel>("TotPlayBLbl", 48, 408, 130, 16, "Playing Time Side B:", -13, boldItalic, true);
    AddText<TAlField>("playtimeA", 184, 387, 31, 15, "00:00", -12, 0, true);
    AddText<TAlField>("playtimeB", 184, 409, 31, 15, "00:00", -12, 0, true);
    AddText<TAlField>("CDTitles", 44, 328, 380, 41, "CDTitles", -12, 0, false, true);
    TapeCoverRepForm = this;
}

TTapeCoverRepForm::~TTapeCoverRepForm()
{
    if (TapeCoverRepForm == this)
        TapeCoverRepForm = nullptr;
}

void TTapeCoverRepForm::Fill(const TTapeReportSource &source)
{
    Report->ClearData();
    AddSide("TracksA", source.SideA,
            [](int i, const std::string &c) { return IntToStr(i) + ". " + TrackTitleFromCaption(c); });
    AddSide("TracksB", source.SideB,
            [](int i, const std::string &c) { return TrackTitleFromCaption(c) + " ." + IntToStr(i); });

    const int side = (TapeMinutes(source.TapeLen) / 2) * 60;
    Report->AddNamedValue("playtimeA",
                          source.SecondsToTime(side - source.TimeToSeconds(source.RemainingA)) + " (mm:ss)");
    Report->AddNamedValue("playtimeB",
                          source.SecondsToTime(side - source.TimeToSeconds(source.RemainingB)) + " (mm:ss)");

    std::string titles = source.CDSelect[0];
    for (size_t i = 1; i < source.CDSelect.size(); ++i)
        if (!source.CDSelect[i].empty())
            titles += " \x95 " + source.CDSelect[i];
    Report->AddNamedValue("CDTitles", titles);
}
