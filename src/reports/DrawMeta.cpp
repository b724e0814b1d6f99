#include "reports/DrawMeta.h"
#include "reports/AlPrinter.h"

TDrawMetaFile::TDrawMetaFile(int width, int height) : width_(width), height_(height)
{
    Open();
}

TDrawMetaFile::~TDrawMetaFile()
{
    Close();
}

void TDrawMetaFile::SetDrawing(bool on)
{
    if (on == Drawing())
        return;
    if (on) {
        picture_ = QPicture();
        auto painter = std::make_unique<QPainter>();
        painter->begin(&picture_);
        canvas_ = std::move(painter);
    } else {
        canvas_->end();
        canvas_.reset();
        picture_.setBoundingRect(QRect(0, 0, width_, height_));
    }
}

void TDrawMetaFile::StretchDraw(QPainter &painter, const QRectF &target) const
{
    if (width_ <= 0 || height_ <= 0 || Drawing())
        return;
    // A picture played on a device of another resolution is scaled by the
    // ratio of the resolutions on top of the painter's transformation; take
    // that out, so the page fills exactly the target.
    qreal kx = 1, ky = 1;
    if (QPaintDevice *dev = painter.device()) {
        if (picture_.logicalDpiX() > 0 && picture_.logicalDpiY() > 0) {
            kx = qreal(dev->logicalDpiX()) / picture_.logicalDpiX();
            ky = qreal(dev->logicalDpiY()) / picture_.logicalDpiY();
        }
    }
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / width_ / kx, target.height() / height_ / ky);
    painter.drawPicture(0, 0, picture_);
    painter.restore();
}

tPages::~tPages()
{
    TAlPrinter::ForgetPages(this);
    Clear();
}

TDrawMetaFile *tPages::GetPage(int i) const
{
    if (i < 0 || i >= Count())
        return nullptr;
    return pages_[size_t(i)].get();
}

TDrawMetaFile *tPages::Add(std::unique_ptr<TDrawMetaFile> page)
{
    pages_.push_back(std::move(page));
    return pages_.back().get();
}

void tPages::Clear()
{
    TAlPrinter::ForgetCurrentPage(this);
    pages_.clear();
}
