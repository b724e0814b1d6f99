#pragma once
// The tape's program report: a sheet with the date, the CDs and the track
// references of both sides.
#include "reports/Report.h"

class TTapeProgramRepForm : public TTapeRepForm {
public:
    TTapeProgramRepForm();
    ~TTapeProgramRepForm();
    TAlReport *TapeProgramReport() const { return Report; }
    void Fill(const TTapeReportSource &source) override;
};

extern TTapeProgramRepForm *TapeProgramRepForm;
