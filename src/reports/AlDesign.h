#pragma once
// The design view of report forms: bands with their centimetre rulers, the
// part of a multi-column band beyond its first column, the printable width,
// and the controls as laid out.
#include "reports/Alrep.h"

#include <QWidget>
#include <functional>

// Paints the design marks of a band over (0, 0, Width, Height) on painter
// (after the band's own background): rulers by its Ruler type, the type's
// name, the hatched columns beyond the first, and the report's printable
// width as a red dash-dot line. ppi: the screen's pixels per inch. A band of
// a form without a report sounds the warning beep instead of that line.
void PaintBandDesign(QPainter &painter, const tAlBand &band, int ppi);

// The warning beep of the design view; replaceable for tests.
extern std::function<void()> DesignBeep;

// Shows a report form as the designer lays it out: its bands one below the
// other (by their Top), each with its background, controls and design marks.
// The form is marked as being designed while the view shows it.
class TAlDesignView : public QWidget {
public:
    explicit TAlDesignView(TAlReportForm &form, QWidget *parent = nullptr);
    ~TAlDesignView() override;
    // Top of each band in the view, in the order painted.
    std::vector<std::pair<const tAlBand *, int>> BandPositions() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    void paintBand(QPainter &p, const tAlBand &band) const;
    TAlReportForm &form_;
};
