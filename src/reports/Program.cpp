#include "reports/Program.h"

#include "platform/Rtl.h"

using namespace Rtl;

TTapeProgramRepForm *TapeProgramRepForm = nullptr;

TTapeProgramRepForm::TTapeProgramRepForm()
    : TTapeRepForm("TapeProgramRepForm", "TapeProgramReport", "TAPEPROGRAM", 553)
{
    const uint8_t bold = fsBold, boldItalic = fsBold | fsItalic;
    AddShape("AlShape3", 144, 164, 90, 25, 2);
    AddShape("AlShape2", 40, 164, 90, 25, 2);
    AddShape("AlShape1", 28, 12, 453, 61, 2);
    AddText<TAlLabel>("AlLabel1", 44, 20, 423, 22, "MixDeck v1.0RC1 Generated Tape's Program", -19, bold, true);
    auto *date = AddText<TAlSysField>("AlSysField1", 332, 48, 140, 17, "", -15, 0, true, false, taRightJustify);
    date->SetSysDataType(alr_DateTime);
    date->Caption = "#tt.mm.jjjj hh:mm:ss#";
    date->Color = clWhite;
    AddText<TAlLabel>("AlLabel2", 40, 88, 59, 16, "CD N.\xB0 1 :", -13, bold, true);
    AddText<TAlLabel>("AlLabel3", 40, 112, 59, 16, "CD N.\xB0 2 :", -13, bold, true);
    AddText<TAlLabel>("AlLabel4", 40, 136, 59, 16, "CD N.\xB0 3 :", -13, bold, true);
    AddText<TAlField>("CD1TITLE", 112, 88, 61, 16, "CD1TITLE", -13, boldItalic, true);
    AddText<TAlField>("CD2TITLE", 112, 112, 61, 16, "CD2TITLE", -13, boldItalic, true);
    AddText<TAlField>("CD3TITLE", 112, 136, 61, 16, "CD3TITLE", -13, boldItalic, true);
    AddText<TAlLabel>("SideALbl", 60, 168, 53, 19, "SIDE A", -16, bold, true);
    AddText<TAlLabel>("AlLabel5", 164, 168, 54, 19, "SIDE B", -16, bold, true);
    AddText<TAlField>("CDTrackA", 40, 192, 90, 345, "CDTrackA", -15, 0, false, false);
    AddText<TAlField>("CDTrackB", 144, 192, 90, 345, "CDTrackB", -15, 0, false, true, taRightJustify);
    TapeProgramRepForm = this;
}

TTapeProgramRepForm::~TTapeProgramRepForm()
{
    if (TapeProgramRepForm == this)
        TapeProgramRepForm = nullptr;
}

void TTapeProgramRepForm::Fill(const TTapeReportSource &source)
{
    Report->ClearData();
    AddSide("CDTrackA", source.SideA,
            [](int i, const std::string &c) { return IntToStr(i) + ". " + TrackRefFromCaption(c); });
    AddSide("CDTrackB", source.SideB,
            [](int i, const std::string &c) { return TrackRefFromCaption(c) + " ." + IntToStr(i); });
    for (int i = 0; i < 3; ++i)
        Report->AddNamedValue("CD" + IntToStr(i + 1) + "TITLE", source.CDSelect[size_t(i)]);
}
