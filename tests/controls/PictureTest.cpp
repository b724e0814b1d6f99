// Pictures of markup cells: GIF frame counting, timing and extraction on
// generated GIF files, loading, the cache and the container.
#include "controls/GifFrames.h"
#include "controls/PictureContainer.h"
#include "common/TestUtil.h"
#include "GifMaker.h"
#include "platform/Rtl.h"
#include "platform/Streams.h"
#include "support/VCLUtils.h"

#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using GifFrame = gifmaker::Frame;

std::string makeGif(int w, int h, const std::vector<GifFrame> &frames) { return gifmaker::MakeGif(w, h, frames); }

void loadBytes(THTMLPicture &p, const std::string &bytes)
{
    TMemoryStream m;
    m.SetBytes(bytes);
    p.LoadFromStream(m);
}

TEST(GifFrames, CountsTimesAndCutsFrames)
{
    const std::string gif = makeGif(10, 8, {{0, 0, 5}, {3, 2, 20}, {6, 4, 30}});
    EXPECT_TRUE(GifFrames::IsGIF(gif));
    EXPECT_EQ(GifFrames::FrameCount(gif), 3);
    EXPECT_EQ(GifFrames::FrameTime(gif, 1), 5);
    EXPECT_EQ(GifFrames::FrameTime(gif, 3), 30);
    EXPECT_EQ(GifFrames::FrameTime(gif, 4), -1);
    EXPECT_EQ(GifFrames::FrameTime(gif, 0), -1);

    GifFrames::TFrameInfo info;
    const std::string two = GifFrames::ExtractFrame(gif, 2, info);
    // Header and colour table, frames 2 and 3, trailer.
    EXPECT_EQ(two, makeGif(10, 8, {{3, 2, 20}, {6, 4, 30}}));
    EXPECT_EQ(info.Left, 3);
    EXPECT_EQ(info.Top, 2);
    EXPECT_EQ(info.Width, 1);
    EXPECT_EQ(info.ScreenWidth, 10);
    EXPECT_EQ(info.ScreenHeight, 8);
    EXPECT_EQ(GifFrames::ExtractFrame(gif, 1, info), gif);

    // Frames without a graphic control extension are not counted.
    const std::string bare = makeGif(4, 4, {{0, 0, 0, false}, {1, 1, 0, false}});
    EXPECT_EQ(GifFrames::FrameCount(bare), 0);
    EXPECT_EQ(GifFrames::FrameCount("GIF8"), 0);
    EXPECT_EQ(GifFrames::FrameCount("\x89PNG....."), 0);
}

TEST(GifFrames, TruncatedFilesNeverReadBeyondTheirEnd)
{
    const std::string gif = makeGif(10, 8, {{0, 0, 5}, {3, 2, 20}, {6, 4, 30}});
    int last = 0;
    for (size_t n = 0; n <= gif.size(); ++n) {
        // Each prefix in its own allocation, so that a sanitizer sees any overrun.
        const std::string cut(gif.data(), n);
        const int count = GifFrames::FrameCount(cut);
        EXPECT_GE(count, last);
        EXPECT_LE(count, 3);
        last = count;
        for (int f = 0; f <= 4; ++f) {
            GifFrames::TFrameInfo info;
            EXPECT_LE(GifFrames::ExtractFrame(cut, f, info).size(), cut.size());
            GifFrames::FrameTime(cut, f);
        }
    }
    EXPECT_EQ(last, 3);
}

TEST(HTMLPicture, LoadsAndAnimatesAGif)
{
    THTMLPicture p;
    EXPECT_TRUE(p.GetEmpty());
    EXPECT_EQ(p.GetWidth(), 0);
    EXPECT_EQ(p.GetMaxWidth(), 0);
    int changes = 0, frameChanges = 0;
    p.OnChange = [&](THTMLPicture *) { ++changes; };
    p.OnFrameChange = [&](THTMLPicture *) { ++frameChanges; };
    const std::string gif = makeGif(10, 8, {{0, 0, 10}, {3, 2, 20}, {6, 4, 10}});
    loadBytes(p, gif);
    EXPECT_FALSE(p.GetEmpty());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(p.GetFrameCount(), 3);
    // The decoder gives the logical screen.
    EXPECT_EQ(p.GetWidth(), 10);
    EXPECT_EQ(p.GetMaxWidth(), 10);
    EXPECT_EQ(p.GetMaxHeight(), 8);
    p.SetFrame(2);
    EXPECT_EQ(frameChanges, 1);
    EXPECT_EQ(p.FrameInfo().Left, 3);
    EXPECT_FALSE(p.Image().isNull());

    p.SetFrame(3);
    p.FrameNext();
    EXPECT_EQ(p.Frame(), 1);
    p.FramePrev();
    EXPECT_EQ(p.Frame(), 3);

    // Steps of a tenth of a second: frame 1 lasts 10, frame 2 20 hundredths;
    // the tick counter starts at -1.
    THTMLPicture a;
    loadBytes(a, gif);
    std::vector<int> frames;
    for (int i = 0; i < 6; ++i) {
        a.Step();
        frames.push_back(a.Frame());
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 1, 2, 2, 3, 1}));

    // The bytes are kept exactly as loaded.
    TMemoryStream out;
    a.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), gif);
}

// A stream that claims to be far larger than any picture.
class HugeStream : public TStream {
public:
    int64_t Read(void *, int64_t) override { ++reads; return 0; }
    int64_t Write(const void *, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        if (origin == soEnd) pos = (int64_t(1) << 40) + offset;
        else if (origin == soBeginning) pos = offset;
        else pos += offset;
        return pos;
    }
    int64_t pos = 0;
    int reads = 0;
};

TEST(HTMLPicture, FailedLoadsLeaveThePictureAsItWas)
{
    THTMLPicture p;
    const std::string gif = makeGif(10, 8, {{0, 0, 10}, {3, 2, 20}});
    loadBytes(p, gif);
    try {
        loadBytes(p, "GIF89a this is no picture");
        FAIL() << "no exception";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message, "Could not load image. Invalid format");
    }
    EXPECT_FALSE(p.GetEmpty());
    EXPECT_EQ(p.Data(), gif);
    EXPECT_EQ(p.GetFrameCount(), 2);
    EXPECT_EQ(p.GetMaxWidth(), 10);

    HugeStream huge;
    try {
        p.LoadFromStream(huge);
        FAIL() << "no exception";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message, "Could not allocate memory for image");
    }
    EXPECT_EQ(huge.reads, 0);
    EXPECT_EQ(p.Data(), gif);

    // Files that cannot be read are swallowed and leave the picture empty.
    THTMLPicture f;
    f.LoadFromFile("/nonexistent/x.gif");
    EXPECT_TRUE(f.GetEmpty());
}

TEST(HTMLPicture, AddressesAndTheCache)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/MixedCase.gif";
    const std::string gif = makeGif(5, 5, {{0, 0, 10}});
    std::ofstream(path, std::ios::binary) << gif;

    THTMLPictureCache cache;
    THTMLPicture *p = cache.AddPicture();
    p->Asynch = false;
    p->LoadFromURL("file://" + path);
    // The file opens under the name as written; the key is upper case.
    EXPECT_FALSE(p->GetEmpty());
    EXPECT_EQ(p->ID(), "FILE://" + Rtl::UpperCase(path));
    EXPECT_EQ(cache.FindPicture("FILE://" + Rtl::UpperCase(path)), p);
    EXPECT_EQ(cache.FindPicture("file://" + path), nullptr);

    THTMLPicture *r = cache.AddPicture();
    r->LoadFromURL("res://nosuch");
    EXPECT_TRUE(r->GetEmpty());
    EXPECT_EQ(r->ID(), "RES://NOSUCH");

    EXPECT_THROW(r->LoadFromResourceID(4711), EResNotFound);

    THTMLPicture *web = cache.AddPicture();
    web->LoadFromURL("http://example.invalid/a.gif");
    EXPECT_TRUE(web->Downloading());
    EXPECT_EQ(web->ID(), "");
    web->Asynch = false;
    THTMLPicture *sync = cache.AddPicture();
    sync->Asynch = false;
    sync->LoadFromURL("http://example.invalid/b.gif");
    EXPECT_EQ(sync->ID(), "HTTP://EXAMPLE.INVALID/B.GIF");
    EXPECT_TRUE(sync->GetEmpty());
}

TEST(PictureContainer, FindsUpperCaseNamesAndAppends)
{
    TPictureContainer c;
    TPictureItem *a = c.Items.Add();
    a->Name = "Logo";
    TPictureItem *b = c.Items.Insert(0);
    b->Name = "second";
    EXPECT_EQ(c.Items.Items(1), b);
    EXPECT_EQ(c.FindPicture("LOGO"), a->Picture.get());
    EXPECT_EQ(c.FindPicture("Logo"), nullptr);
    EXPECT_EQ(c.FindPicture("SECOND"), b->Picture.get());

    TPictureContainer copy;
    copy.SetItems(c.Items);
    ASSERT_EQ(copy.Items.Count(), 2);
    EXPECT_EQ(copy.Items.Items(0)->Name, "Logo");
}

TEST(HTMLImage, PicturePlaces)
{
    using R = std::vector<QRect>;
    EXPECT_EQ(THTMLImage::PicturePlaces(bpBottomRight, 100, 50, 30, 20), (R{QRect(70, 30, 30, 20)}));
    EXPECT_EQ(THTMLImage::PicturePlaces(bpCenter, 100, 50, 30, 20), (R{QRect(35, 15, 30, 20)}));
    EXPECT_EQ(THTMLImage::PicturePlaces(bpTopRight, 10, 10, 30, 20), (R{QRect(0, 0, 30, 20)}));
    EXPECT_EQ(THTMLImage::PicturePlaces(bpTiled, 100, 50, 30, 30).size(), 8u);
    // A picture without size is not tiled at all.
    EXPECT_TRUE(THTMLImage::PicturePlaces(bpTiled, 100, 50, 0, 30).empty());
    EXPECT_TRUE(THTMLImage::PicturePlaces(bpTiled, 100, 50, 30, 0).empty());
}

} // namespace

namespace {

TEST(HTMLPicture, ABrokenFrameIsPassedOverWhileAnimating)
{
    std::string gif = makeGif(10, 8, {{0, 0, 10}, {3, 2, 10}, {6, 4, 10}});
    // Frame 2 claims a local colour table of 256 entries that is not there.
    const size_t second = gif.find(std::string("\x21\xF9", 2), 20);
    ASSERT_NE(second, std::string::npos);
    gif[second + 8 + 9] = char(0x87);
    THTMLPicture p;
    loadBytes(p, gif);
    for (int i = 0; i < 12; ++i) EXPECT_NO_THROW(p.Step());
    EXPECT_FALSE(p.Image().isNull());
    EXPECT_THROW(p.SetFrame(2), Exception);
    EXPECT_FALSE(p.Image().isNull());
}

} // namespace
