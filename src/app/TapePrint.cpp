#include "app/TapePrint.h"

#include "compilation/Main.h"
#include "controls/EnhListV.h"
#include "platform/Cp1252.h"

#include <QComboBox>

namespace {

std::vector<std::string> captions(const TEnhListView &list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.Items.Count(); ++i)
        out.push_back(list.Items.Item(i)->Caption());
    return out;
}

} // namespace

TTapeReportSource TapeReportSource(TMainForm &main)
{
    TTapeReportSource s;
    s.SideA = captions(*main.SideList('A'));
    s.SideB = captions(*main.SideList('B'));
    s.RemainingA = main.RemainingA;
    s.RemainingB = main.RemainingB;
    if (auto *len = main.findChild<QComboBox *>("TapeLen"))
        s.TapeLen = ToAnsi(len->currentText());
    for (int p = 1; p <= 3; ++p)
        s.CDSelect[size_t(p - 1)] = ToAnsi(main.CDSelect(p)->currentText());
    s.TimeToSeconds = &TMainForm::TimeToSeconds;
    s.SecondsToTime = &TMainForm::SecondsToTime;
    return s;
}

void BindTapePrinting(TMainForm &main, std::shared_ptr<TTapeReports> reports)
{
    TMainForm *m = &main;
    main.PrintTapeCover = [m, reports] { reports->Cover.PreviewTape(TapeReportSource(*m), m); };
    main.PrintTapeProgram = [m, reports] { reports->Program.PreviewTape(TapeReportSource(*m), m); };
}
