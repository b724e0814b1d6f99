#pragma once
// Recorded report pages: each page is a QPicture drawn at screen resolution
// (the stand-in for an enhanced metafile), and a page list owns its pages.
#include <QPainter>
#include <QPicture>
#include <QRect>
#include <memory>
#include <vector>

// One recorded page. It is open for drawing from construction until Close();
// a closed page is complete and only read afterwards.
class TDrawMetaFile {
public:
    // A page of width x height screen pixels, opened for drawing.
    TDrawMetaFile(int width, int height);
    ~TDrawMetaFile();
    TDrawMetaFile(const TDrawMetaFile &) = delete;
    TDrawMetaFile &operator=(const TDrawMetaFile &) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The painter while the page is open, nullptr once closed.
    QPainter *Canvas() const { return canvas_.get(); }
    bool Drawing() const { return canvas_ != nullptr; }
    // True opens a painter on the page; False ends it, which completes the
    // recording. Nothing happens when the state does not change.
    void SetDrawing(bool on);
    void Open() { SetDrawing(true); }
    void Close() { SetDrawing(false); }

    // The recording; its bounding rectangle is the whole page (0, 0, Width,
    // Height) whatever was drawn.
    const QPicture &Picture() const { return picture_; }
    // Plays the page into target on painter, stretched to fill it.
    void StretchDraw(QPainter &painter, const QRectF &target) const;

private:
    int width_, height_;
    QPicture picture_;
    std::unique_ptr<QPainter> canvas_;
};

// The pages of a report run in page order. The list owns its pages.
class tPages {
public:
    tPages() = default;
    // Releases the pages; a printer object that still records into this list
    // goes back to its own list.
    ~tPages();
    tPages(const tPages &) = delete;
    tPages &operator=(const tPages &) = delete;

    int Count() const { return int(pages_.size()); }
    // Page i (0-based), or nullptr when i is outside 0 .. Count() - 1.
    TDrawMetaFile *GetPage(int i) const;
    // Appends a page and takes ownership of it.
    TDrawMetaFile *Add(std::unique_ptr<TDrawMetaFile> page);
    // Frees every page and empties the list.
    void Clear();

private:
    std::vector<std::unique_ptr<TDrawMetaFile>> pages_;
};
