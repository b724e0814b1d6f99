#pragma once
// The picture control of reports: prints a bitmap stretched, centred or at
// its corner, or a dash-dot placeholder frame when it holds no bitmap.
#include "reports/Alrep.h"

#include <QImage>

// The picture a control holds: nothing, a bitmap, or a graphic of another
// kind (an icon), which prints as the placeholder only.
struct TAlPicture {
    enum Kind : uint8_t { None, Bitmap, Other };
    Kind kind = None;
    QImage image;
    int Width() const { return image.width(); }
    int Height() const { return image.height(); }
    bool HasBitmap() const { return kind == Bitmap && !image.isNull(); }
};

class tAlImage : public tAlControl {
public:
    explicit tAlImage(TAlReportForm *owner);
    const char *ClassName() const override { return "tAlImage"; }

    bool Stretch() const { return stretch_; }
    void SetStretch(bool on);
    bool Center() const { return center_; }
    void SetCenter(bool on);
    bool AutoSize() const { return autoSize_; }
    // With AutoSize set the control takes the picture's size.
    void SetAutoSize(bool on);
    const TAlPicture &Picture() const { return picture_; }
    // Copies the picture in; with AutoSize the control takes its size.
    void SetPicture(const TAlPicture &picture);
    // True while the control is read from a stored layout: the picture
    // does not resize it then.
    bool Loading = false;
    TAlPen FramePen{clBlack, 1, psDashDot, pmCopy};

    // The control on its own surface over (0, 0, Width, Height).
    void Paint(QPainter &painter) const;
    void PrintOut(const TRect &rect, const std::string &value) override;

private:
    void PicChanged();
    // Draws the picture as the control shows it into its design size.
    void drawDesign(QPainter &painter) const;
    TAlPicture picture_;
    bool stretch_ = true;
    bool center_ = true;
    bool autoSize_ = false;
};
