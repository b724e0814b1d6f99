#include "controls/PictureContainer.h"

#include "platform/Cp1252.h"
#include "platform/FileIO.h"
#include "platform/Rtl.h"
#include "support/VCLUtils.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

// ---- THTMLPicture -----------------------------------------------------------------------------

THTMLPicture::THTMLPicture() = default;
THTMLPicture::~THTMLPicture() = default;

void THTMLPicture::Assign(const THTMLPicture *Source)
{
    empty_ = true;
    image_ = QImage();
    frameCount_ = -1;
    nextFrameTime_ = -1;
    tickCounter_ = -1;
    frame_ = 1;
    if (!Source) {
        data_.clear();
        return;
    }
    if (Source->empty_) {
        data_.clear();
        return;
    }
    setData(Source->data_, true);
}

void THTMLPicture::setData(std::string bytes, bool notify)
{
    // A failed decoding leaves the picture as it was.
    std::string oldData = std::move(data_);
    const bool oldEmpty = empty_;
    QImage oldImage = image_;
    const GifFrames::TFrameInfo oldInfo = info_;
    const int oldFrame = frame_, oldCount = frameCount_;
    data_ = std::move(bytes);
    empty_ = false;
    frameCount_ = -1;
    if (frame_ > GetFrameCount() && frame_ > 1) frame_ = 1;
    try {
        LoadPicture();
    } catch (...) {
        data_ = std::move(oldData);
        empty_ = oldEmpty;
        image_ = oldImage;
        info_ = oldInfo;
        frame_ = oldFrame;
        frameCount_ = oldCount;
        throw;
    }
    if (notify) changed();
}

void THTMLPicture::LoadFromStream(TStream &Stream)
{
    ReadData(Stream);
    changed();
}

void THTMLPicture::ReadData(TStream &Stream)
{
    const int64_t size = Stream.Size() - Stream.Position();
    if (size < 0 || uint64_t(size) > GifFrames::MaxPictureBytes)
        throw Exception("Could not allocate memory for image");
    std::string bytes(size_t(size), '\0');
    if (size > 0) Stream.ReadBuffer(bytes.data(), size);
    setData(std::move(bytes), false);
}

void THTMLPicture::LoadFromFile(const std::string &FileName)
{
    std::string bytes;
    if (!fileio::ReadFile(FileName, bytes, GifFrames::MaxPictureBytes + 1) ||
        bytes.size() > GifFrames::MaxPictureBytes)
        return;
    try {
        setData(std::move(bytes), true);
    } catch (const std::exception &) {
        // Pictures from files that cannot be read are simply not shown.
    }
}

void THTMLPicture::SaveToStream(TStream &Stream) const
{
    if (!data_.empty()) Stream.WriteBuffer(data_.data(), int64_t(data_.size()));
}

void THTMLPicture::LoadFromResourceName(const std::string &Name)
{
    QFile f(":/pictures/" + FromAnsi(Name));
    if (!f.exists() || !f.open(QIODevice::ReadOnly)) return;
    if (uint64_t(f.size()) > GifFrames::MaxPictureBytes) throw Exception("Could not allocate memory for image");
    QByteArray bytes = f.readAll();
    setData(std::string(bytes.constData(), size_t(bytes.size())), true);
}

void THTMLPicture::LoadFromResourceID(int ID)
{
    const std::string name = Rtl::IntToStr(ID);
    if (!QFile::exists(":/pictures/" + FromAnsi(name))) throw EResNotFound("Resource " + name + " not found");
    LoadFromResourceName(name);
}

void THTMLPicture::LoadFromURL(const std::string &URL)
{
    const std::string up = Rtl::UpperCase(URL);
    if (up.rfind("RES://", 0) == 0) {
        id_ = up;
        std::string rest = up.substr(6);
        if (!rest.empty()) LoadFromResourceName(rest);
    } else if (up.rfind("FILE://", 0) == 0) {
        id_ = up;
        // File names on this system are case-sensitive: the path as written.
        std::string rest = URL.substr(7);
        if (!rest.empty()) LoadFromFile(rest);
    } else if (Asynch) {
        if (!downloading_) {
            url_ = up;
            downloading_ = true;
            // Loading from the web is not done: the download does nothing.
        }
    } else {
        url_ = up;
        id_ = up;
    }
}

int THTMLPicture::GetWidth() const
{
    return image_.isNull() ? 0 : image_.width() * HorzRes / 96;
}

int THTMLPicture::GetHeight() const
{
    return image_.isNull() ? 0 : image_.height() * VertRes / 96;
}

int THTMLPicture::GetMaxWidth() const
{
    if (image_.isNull()) return 0;
    return info_.ScreenWidth != 0 ? info_.ScreenWidth : GetWidth();
}

int THTMLPicture::GetMaxHeight() const
{
    if (image_.isNull()) return 0;
    return info_.ScreenHeight != 0 ? info_.ScreenHeight : GetHeight();
}

void THTMLPicture::Draw(QPainter &Canvas, const QRect &Rect)
{
    if (empty_ || image_.isNull()) return;
    if (Stretch) {
        Canvas.drawImage(Rect, image_);
        return;
    }
    QPaintDevice *d = Canvas.device();
    const int dpiX = d ? d->logicalDpiX() : 96, dpiY = d ? d->logicalDpiY() : 96;
    const int w = image_.width() * dpiX / 96, h = image_.height() * dpiY / 96;
    // The decoder places a frame inside the logical screen itself.
    Canvas.drawImage(QRect(Rect.left(), Rect.top(), w, h), image_);
}

int THTMLPicture::GetFrameCount()
{
    if (frameCount_ != -1) return frameCount_;
    if (!IsGIFFile()) return -1;
    frameCount_ = GifFrames::FrameCount(data_);
    return frameCount_;
}

int THTMLPicture::GetFrameTime(int Index) const
{
    return GifFrames::FrameTime(data_, Index);
}

void THTMLPicture::SetFrame(int Value)
{
    frame_ = Value;
    if (!data_.empty()) {
        LoadPicture();
        if (OnFrameChange) OnFrameChange(this);
    }
}

void THTMLPicture::FrameNext()
{
    if (frame_ < GetFrameCount()) ++frame_;
    else frame_ = 1;
}

void THTMLPicture::FramePrev()
{
    if (frame_ > 1) --frame_;
    else frame_ = std::max(1, GetFrameCount());
}

bool THTMLPicture::Step()
{
    if (GetFrameCount() < 2 || empty_) return false;
    if (nextFrameTime_ == -1) nextFrameTime_ = GetFrameTime(frame_);
    bool changedFrame = false;
    if (tickCounter_ * 10 >= nextFrameTime_) {
        FrameNext();
        try {
            LoadPicture();
        } catch (const Exception &) {
            // A frame that cannot be decoded is passed over; the last one stays.
        }
        nextFrameTime_ += std::max(0, GetFrameTime(frame_));
        changedFrame = true;
    }
    ++tickCounter_;
    return changedFrame;
}

void THTMLPicture::LoadPicture()
{
    GifFrames::TFrameInfo info;
    std::string bytes;
    if (IsGIFFile() && GetFrameCount() >= 1) bytes = GifFrames::ExtractFrame(data_, frame_, info);
    else bytes = data_;
    QByteArray array = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
    QBuffer buffer(&array);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // Pictures far larger than any screen are refused before decoding.
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > 64ll * 1024 * 1024)
        throw Exception("Could not load image. Invalid format");
    QImage img = reader.read();
    // A failure leaves the frame shown before.
    if (img.isNull()) throw Exception("Could not load image. Invalid format");
    image_ = img;
    info_ = info;
}

void THTMLPicture::DownLoadProgress(uint32_t done, uint32_t total)
{
    if (OnDownLoadProgress) OnDownLoadProgress(this, done, total);
}

void THTMLPicture::DownLoadCancel(bool &Cancel)
{
    if (OnDownLoadCancel) OnDownLoadCancel(this, Cancel);
}

void THTMLPicture::DownLoadComplete()
{
    if (OnDownLoadComplete) OnDownLoadComplete(this);
}

void THTMLPicture::DownLoadError(const std::string &Message)
{
    if (OnDownLoadError) OnDownLoadError(this, Message);
}

// ---- cache, items, collection, container ----------------------------------------------------------------

THTMLPicture *THTMLPictureCache::AddPicture()
{
    items_.push_back(std::make_unique<THTMLPicture>());
    return items_.back().get();
}

THTMLPicture *THTMLPictureCache::FindPicture(const std::string &ID) const
{
    for (const auto &p : items_)
        if (p->ID() == ID) return p.get();
    return nullptr;
}

void THTMLPictureCache::ClearPictures() { items_.clear(); }

bool THTMLPictureCache::Animate()
{
    bool any = false;
    for (const auto &p : items_) any = p->Step() || any;
    return any;
}

THTMLPicture *THTMLPictureCache::GetPicture(int i) const
{
    return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr;
}

void TPictureItem::Assign(const TPictureItem &Source)
{
    Name = Source.Name;
    Tag = Source.Tag;
    Picture->Assign(Source.Picture.get());
}

TPictureItem *TPictureCollection::Add()
{
    items_.push_back(std::make_unique<TPictureItem>());
    return items_.back().get();
}

TPictureItem *TPictureCollection::Insert(int /*Index*/) { return Add(); }

TPictureItem *TPictureCollection::Items(int i) const
{
    return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr;
}

void TPictureCollection::SetItem(int i, const TPictureItem &Source)
{
    if (TPictureItem *it = Items(i)) it->Assign(Source);
}

void TPictureCollection::Assign(const TPictureCollection &Source)
{
    if (&Source == this) return;
    items_.clear();
    for (const auto &it : Source.items_) Add()->Assign(*it);
}

bool TPictureCollection::Animate()
{
    bool any = false;
    for (const auto &it : items_) any = it->Picture->Step() || any;
    return any;
}

THTMLPicture *TPictureContainer::FindPicture(const std::string &Name) const
{
    for (int i = 0; i < Items.Count(); ++i) {
        TPictureItem *it = Items.Items(i);
        if (Rtl::UpperCase(it->Name) == Name) return it->Picture.get();
    }
    return nullptr;
}

// ---- THTMLImage ------------------------------------------------------------------------------------------

THTMLImage::THTMLImage(QWidget *parent) : QWidget(parent), picture_(std::make_unique<THTMLPicture>())
{
    resize(100, 100);
    picture_->OnChange = [this](THTMLPicture *) { update(); };
    picture_->OnFrameChange = [this](THTMLPicture *) { update(); };
    picture_->OnDownLoadProgress = [this](THTMLPicture *, uint32_t d, uint32_t t) {
        if (OnDownLoadProgress) OnDownLoadProgress(this, d, t);
    };
    picture_->OnDownLoadCancel = [this](THTMLPicture *, bool &c) {
        if (OnDownLoadCancel) OnDownLoadCancel(this, c);
    };
    picture_->OnDownLoadComplete = [this](THTMLPicture *) {
        if (OnDownLoadComplete) OnDownLoadComplete(this);
    };
    picture_->OnDownLoadError = [this](THTMLPicture *, const std::string &m) {
        if (OnDownLoadError) OnDownLoadError(this, m);
    };
}

void THTMLImage::SetHTMLPicture(const THTMLPicture &p)
{
    picture_->Assign(&p);
    update();
}

void THTMLImage::SetPicturePosition(TPicturePosition p)
{
    if (p == position_) return;
    position_ = p;
    update();
}

std::vector<QRect> THTMLImage::PicturePlaces(TPicturePosition pos, int W, int H, int pw, int ph)
{
    std::vector<QRect> out;
    const int fx = std::max(0, W - pw), fy = std::max(0, H - ph);
    switch (pos) {
    case bpTopLeft: out.emplace_back(0, 0, pw, ph); break;
    case bpTopRight: out.emplace_back(fx, 0, pw, ph); break;
    case bpBottomLeft: out.emplace_back(0, fy, pw, ph); break;
    case bpBottomRight: out.emplace_back(fx, fy, pw, ph); break;
    case bpCenter: out.emplace_back(fx / 2, fy / 2, pw, ph); break;
    case bpTiled:
        // A picture without width or height has nothing to tile.
        if (pw <= 0 || ph <= 0) break;
        for (int y = 0; y < H; y += ph)
            for (int x = 0; x < W; x += pw) out.emplace_back(x, y, pw, ph);
        break;
    case bpStretched: out.emplace_back(0, 0, W, H); break;
    }
    return out;
}

void THTMLImage::paintEvent(QPaintEvent *)
{
    if (!picture_ || picture_->GetEmpty()) return;
    QPainter p(this);
    const bool stretch = position_ == bpStretched;
    const bool old = picture_->Stretch;
    picture_->Stretch = stretch;
    for (const QRect &r : PicturePlaces(position_, width(), height(), picture_->GetWidth(), picture_->GetHeight()))
        picture_->Draw(p, r);
    picture_->Stretch = old;
}
