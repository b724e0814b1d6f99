#pragma once
// The preview control: one recorded report page at a time, scaled by a zoom
// factor, optionally framed with a drop shadow, inside a scroll box; and the
// printing of a range of its pages on the system printer.
#include "reports/DrawMeta.h"

#include <QScrollArea>
#include <functional>
#include <string>

class tAlPreview;

// The paint box that shows the page; it paints through its preview control.
class tAlPreviewPaintBox : public QWidget {
public:
    explicit tAlPreviewPaintBox(tAlPreview *preview, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    tAlPreview *preview_;
};

// Screen cursor slot of the magnifier shown over the page.
constexpr int crPreviewLupe = 5;
// Puts the magnifier cursor "LUPE" into its slot (once).
void RegisterPreviewCursor();

class tAlPreview : public QScrollArea {
public:
    explicit tAlPreview(QWidget *parent = nullptr);
    ~tAlPreview() override;

    // Job title of the prints made from the preview.
    std::string Title;
    // True in the design view: no page is measured or shown.
    bool Designing = false;

    int PageNumber() const { return pageNumber_; }
    // Accepted when 1 <= n <= GetPageCount().
    void SetPageNumber(int n);
    int Zoom() const { return zoom_; }
    // Accepted when it differs and 25 <= z <= 200 (percent).
    void SetZoom(int z);
    bool Shadow() const { return shadow_; }
    void SetShadow(bool on);

    // The recorded pages; a report run records into them.
    tPages &Pages() { return pages_; }
    int GetPageCount() const { return pages_.Count(); }
    void FirstPage();
    void LastPage();
    void NextPage();
    void PrevPage();

    // Sizes the paint box to the printer object's page at the zoom (plus 5
    // with the shadow), sets the scroll ranges and repaints.
    void UpdatePage();
    // Paints the page into the paint box's client area on painter.
    void PaintPage(QPainter &painter, int w, int h) const;
    // Prints pages from .. to (1-based) on the system printer, each stretched
    // from the paper's corner; nothing without pages. The document is ended
    // also when drawing fails.
    void Print(int from, int to);

    // The content size the scroll bars range over: the paint box plus 30.
    int HorzScrollRange() const;
    int VertScrollRange() const;

    QWidget *pbx() const { return pbx_; }
    // Zooms one step in (left button) or out (right button), then calls
    // OnMouseDown with the paint box's coordinates.
    void pbxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    std::function<void(QWidget *sender, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown;

private:
    int pageNumber_ = 1;
    int zoom_ = 100;
    bool shadow_ = false;
    QWidget *content_;
    tAlPreviewPaintBox *pbx_;
    tPages pages_;
};
