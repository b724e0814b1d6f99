#pragma once
// Pictures for the markup painter: THTMLPicture keeps a picture file's bytes
// and decodes them (with its own frame handling for animated GIF files),
// THTMLPictureCache holds the pictures a list loads by address,
// TPictureContainer the named pictures the painter looks up by name, and
// THTMLImage is a control showing one picture.
#include "controls/GifFrames.h"
#include "platform/Classes.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;

class THTMLPicture {
public:
    THTMLPicture();
    virtual ~THTMLPicture();
    THTMLPicture(const THTMLPicture &) = delete;
    THTMLPicture &operator=(const THTMLPicture &) = delete;

    // Copies another picture's bytes (nullptr: empties this one).
    void Assign(const THTMLPicture *Source);
    // The whole stream from its position; Exception "Could not load image.
    // Invalid format" for data no decoder reads, "Could not allocate memory
    // for image" for data beyond the byte budget (the picture is then left
    // as it was).
    void LoadFromStream(TStream &Stream);
    // As LoadFromStream, without OnChange (stored layouts).
    void ReadData(TStream &Stream);
    // Any failure is swallowed and leaves the picture empty.
    void LoadFromFile(const std::string &FileName);
    void SaveToStream(TStream &Stream) const;
    void WriteData(TStream &Stream) const { SaveToStream(Stream); }
    // Pictures compiled into the program (Qt resources ":/pictures/<NAME>").
    void LoadFromResourceName(const std::string &Name);
    // The same by number; EResNotFound when the program carries none.
    void LoadFromResourceID(int ID);
    // "RES://name", "FILE://path" load at once; other addresses are recorded.
    void LoadFromURL(const std::string &URL);

    bool GetEmpty() const { return empty_; }
    int GetWidth() const;
    int GetHeight() const;
    int GetMaxWidth() const;
    int GetMaxHeight() const;
    void SetWidth(int) {}
    void SetHeight(int) {}
    // The bytes as loaded.
    const std::string &Data() const { return data_; }
    // The decoded frame shown (null without a picture).
    const QImage &Image() const { return image_; }
    void Draw(QPainter &Canvas, const QRect &Rect);

    bool IsGIFFile() const { return GifFrames::IsGIF(data_); }
    int GetFrameCount();
    int GetFrameTime(int Index) const;
    int Frame() const { return frame_; }
    void SetFrame(int Value);
    void FrameNext();
    void FramePrev();
    // One animation step of a tenth of a second; true when the frame changed.
    bool Step();
    // Position of the frame shown inside the logical screen.
    const GifFrames::TFrameInfo &FrameInfo() const { return info_; }

    bool Stretch = false;
    int HorzRes = 96, VertRes = 96;
    const std::string &ID() const { return id_; }
    const std::string &DownloadURL() const { return url_; }
    bool Asynch = true;
    bool Downloading() const { return downloading_; }

    std::function<void(THTMLPicture *)> OnChange, OnFrameChange;
    std::function<void(THTMLPicture *, uint32_t done, uint32_t total)> OnDownLoadProgress;
    std::function<void(THTMLPicture *, bool &Cancel)> OnDownLoadCancel;
    std::function<void(THTMLPicture *)> OnDownLoadComplete;
    std::function<void(THTMLPicture *, const std::string &Message)> OnDownLoadError;
    void DownLoadProgress(uint32_t done, uint32_t total);
    void DownLoadCancel(bool &Cancel);
    void DownLoadComplete();
    void DownLoadError(const std::string &Message);

private:
    void setData(std::string bytes, bool notify);
    void LoadPicture();
    void changed() { if (OnChange) OnChange(this); }

    std::string data_;
    bool empty_ = true;
    QImage image_;
    std::string url_, id_;
    bool downloading_ = false;
    int frame_ = 1;
    int frameCount_ = -1;
    GifFrames::TFrameInfo info_;
    int nextFrameTime_ = -1;
    int tickCounter_ = -1;
};

// Pictures a list loads by address; owns them.
class THTMLPictureCache {
public:
    ~THTMLPictureCache() { ClearPictures(); }
    THTMLPicture *AddPicture();
    // The first picture whose identifier equals ID exactly.
    THTMLPicture *FindPicture(const std::string &ID) const;
    void ClearPictures();
    bool Animate();
    int Count() const { return int(items_.size()); }
    THTMLPicture *GetPicture(int i) const;

private:
    std::vector<std::unique_ptr<THTMLPicture>> items_;
};

class TPictureItem {
public:
    TPictureItem() : Picture(std::make_unique<THTMLPicture>()) {}
    void Assign(const TPictureItem &Source);
    void SetPicture(const THTMLPicture &p) { Picture->Assign(&p); }
    std::unique_ptr<THTMLPicture> Picture;
    int Tag = 0;
    std::string Name;
};

class TPictureCollection {
public:
    TPictureItem *Add();
    // Appends as well (the index is not used).
    TPictureItem *Insert(int Index);
    int Count() const { return int(items_.size()); }
    TPictureItem *Items(int i) const;
    void SetItem(int i, const TPictureItem &Source);
    void Assign(const TPictureCollection &Source);
    bool Animate();

private:
    std::vector<std::unique_ptr<TPictureItem>> items_;
};

// A component: lists that refer to it forget it when it is destroyed.
class TPictureContainer : public QObject {
public:
    explicit TPictureContainer(QObject *owner = nullptr) : QObject(owner) {}
    TPictureCollection Items;
    // The first item whose upper-cased name equals Name as given.
    THTMLPicture *FindPicture(const std::string &Name) const;
    void SetItems(const TPictureCollection &c) { Items.Assign(c); }
};

enum TPicturePosition : uint8_t { bpTopLeft, bpTopRight, bpBottomLeft, bpBottomRight, bpCenter, bpTiled, bpStretched };

// A control that shows one picture.
class THTMLImage : public QWidget {
    Q_OBJECT
public:
    explicit THTMLImage(QWidget *parent = nullptr);
    THTMLPicture &HTMLPicture() { return *picture_; }
    void SetHTMLPicture(const THTMLPicture &p);
    TPicturePosition PicturePosition() const { return position_; }
    void SetPicturePosition(TPicturePosition p);
    // Where the picture is drawn in a control of size W x H (the tiles in
    // row order); empty for a picture without size.
    static std::vector<QRect> PicturePlaces(TPicturePosition pos, int W, int H, int pw, int ph);

    std::function<void(THTMLImage *, uint32_t, uint32_t)> OnDownLoadProgress;
    std::function<void(THTMLImage *, bool &)> OnDownLoadCancel;
    std::function<void(THTMLImage *)> OnDownLoadComplete;
    std::function<void(THTMLImage *, const std::string &)> OnDownLoadError;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::unique_ptr<THTMLPicture> picture_;
    TPicturePosition position_ = bpTopLeft;
};
