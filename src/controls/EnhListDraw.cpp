#include "controls/EnhListDraw.h"

#include "controls/EnhListFilter.h"
#include "controls/EnhListV.h"
#include "controls/HTMLPaint.h"
#include "controls/PictureContainer.h"
#include "controls/Provcl.h"
#include "controls/RtfText.h"
#include "platform/Cp1252.h"
#include "support/Cursors.h"
#include "platform/VersionResource.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace EnhListDraw {

const uint32_t Alignments[3] = {DT_LEFT, DT_RIGHT, DT_CENTER};
const uint32_t WordWraps[2] = {DT_SINGLELINE, DT_WORDBREAK};
const uint32_t EndEllips[2] = {0, DT_END_ELLIPSIS};

uint32_t VAlignFlag(TVAlignment v)
{
    switch (v) {
    case vtaTop: return 0;
    case vtaBottom: return DT_BOTTOM;
    default: return DT_VCENTER;
    }
}

uint32_t CellFlags(const std::string &text, bool wordWrap, TVAlignment v, TAlignment columnAlignment)
{
    const bool hasCR = text.find('\r') != std::string::npos;
    return EndEllips[hasCR ? 0 : 1] | CellTextFlags | WordWraps[wordWrap ? 1 : 0] | VAlignFlag(v) |
           Alignments[std::min<int>(columnAlignment, 2)];
}

bool IsURLCell(const std::string &t)
{
    return !IsMarkup(t) && (t.find("://") != std::string::npos || t.find("mailto:") != std::string::npos);
}

std::string ShortURL(const std::string &t)
{
    std::string s = t;
    if (size_t p = s.find("://"); p != std::string::npos) s.erase(0, p + 3);
    if (size_t p = s.find("mailto:"); p != std::string::npos) s.erase(0, p + 7);
    return s;
}

int PlaceVertically(TVAlignment v, int top, int bottom, int h)
{
    switch (v) {
    case vtaTop: return top;
    case vtaBottom: return bottom - h;
    default: return h < bottom - top ? top + (bottom - top - h) / 2 : top;
    }
}

QRect CheckBoxRect(const QRect &cell, TVAlignment v, QSize glyph)
{
    const QSize size = glyph.isEmpty() ? QSize(14, 14) : glyph;
    const int top = PlaceVertically(v, cell.top(), cell.top() + cell.height(), size.height());
    return QRect(cell.left() + 2, top, size.width(), size.height());
}

int ImageTop(TVAlignment v, const QRect &cell, int h, int itemHeight)
{
    int top = cell.top();
    switch (v) {
    case vtaTop: break;
    case vtaBottom: top = cell.top() + cell.height() - h; break;
    default: top = cell.top() + (cell.height() - h) / 2; break;
    }
    const int off = top - cell.top();
    if (off < 0 || off > itemHeight) top = cell.top();
    return top;
}

void DrawFlaggedText(QPainter &p, const QRect &r, const std::string &text, uint32_t flags)
{
    const QRect tr = r.adjusted(2, 0, -2, 0);
    int align = 0;
    if (flags & DT_RIGHT) align |= Qt::AlignRight;
    else if (flags & DT_CENTER) align |= Qt::AlignHCenter;
    else align |= Qt::AlignLeft;
    if (flags & DT_BOTTOM) align |= Qt::AlignBottom;
    else if (flags & DT_VCENTER) align |= Qt::AlignVCenter;
    else align |= Qt::AlignTop;
    if (flags & DT_EXPANDTABS) align |= Qt::TextExpandTabs;
    // Line breaks of the text: CR LF, CR or LF each break once.
    QString s = FromAnsi(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (flags & DT_WORDBREAK) align |= Qt::TextWordWrap;
    else if (flags & DT_SINGLELINE) {
        align |= Qt::TextSingleLine;
        s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    if ((flags & DT_END_ELLIPSIS) && !(flags & DT_WORDBREAK)) {
        QFontMetrics fm(p.font());
        s = fm.elidedText(s, Qt::ElideRight, std::max(0, tr.width()));
    }
    p.drawText(tr, align, s);
}

} // namespace EnhListDraw

using namespace EnhListDraw;

// ---- header ---------------------------------------------------------------------------------------------

TEnhHeader::TEnhHeader(TEnhListView *list) : QHeaderView(Qt::Horizontal, list), list_(list)
{
    // The section under the pointer is followed for hot tracking.
    viewport()->setMouseTracking(true);
}

void TEnhHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (!rect.isValid()) return;
    if (list_->HeaderOwnerDraw()) {
        painter->save();
        list_->DrawHeaderItem(*painter, rect, logicalIndex);
        painter->restore();
        return;
    }
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    initStyleOptionForIndex(&opt, logicalIndex);
    opt.rect = rect;
    opt.sortIndicator = QStyleOptionHeader::None;
    // The sort indicator is the glyph pair when both are set.
    const bool sorted = list_->SortShow() && list_->LastSortedColumn() >= 0 && list_->SortColumn() == logicalIndex;
    if (sorted && !list_->SortUpGlyph().isNull() && !list_->SortDownGlyph().isNull())
        opt.icon = QIcon(list_->SortDirection() == sdDescending ? list_->SortDownGlyph() : list_->SortUpGlyph());
    opt.iconAlignment = list_->SortIndicator == siRight ? (Qt::AlignRight | Qt::AlignVCenter) : Qt::AlignVCenter;
    const bool hot = list_->HeaderHotTrack && list_->HotSection() == logicalIndex;
    if (hot) opt.state |= QStyle::State_MouseOver;
    painter->save();
    if (list_->HeaderFlatStyle) {
        // No button face: the section is flat, divided by a line on its right.
        opt.state &= ~QStyle::State_Raised;
        painter->fillRect(rect, opt.palette.button());
        painter->setPen(opt.palette.mid().color());
        painter->drawLine(rect.topRight(), rect.bottomRight());
    } else {
        style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
    }
    if (hot) painter->fillRect(rect.adjusted(1, 1, -2, -2), HotHeaderColor(opt.palette));
    style()->drawControl(QStyle::CE_HeaderLabel, &opt, painter, this);
    painter->restore();
}

QSize TEnhHeader::sectionSizeFromContents(int logicalIndex) const
{
    QSize s = QHeaderView::sectionSizeFromContents(logicalIndex);
    if (list_->HeaderOwnerDraw()) s.setHeight(std::max(list_->HeaderHeight() + 4, 4));
    return s;
}

void TEnhListView::DrawHeaderItem(QPainter &p, const QRect &rect, int Column)
{
    TListColumn *c = Columns[Column];
    p.fillRect(rect, ColorToQColor(clBtnFace));
    p.setPen(ColorToQColor(clBtnShadow));
    p.drawLine(rect.right(), rect.top(), rect.right(), rect.bottom());
    p.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    if (!c) return;
    QRect tr = rect.adjusted(2, 1, -2, -1);
    if (sortShow_ && lastSortedColumn_ >= 0 && sortColumn_ == Column) {
        QPixmap glyph;
        if (!sortUpGlyph_.isNull() && !sortDownGlyph_.isNull())
            glyph = sortDirection_ == sdAscending ? sortDownGlyph_ : sortUpGlyph_;
        else if (headerImages_.size() > 1)
            glyph = headerImages_[sortDirection_ == sdDescending ? 1 : 0].pixmap(16, 16);
        if (!glyph.isNull()) {
            const int gh = glyph.height();
            const int top = gh < headerHeight_ ? tr.top() + (headerHeight_ - gh) / 2 : tr.top();
            p.drawPixmap(tr.left(), top, glyph);
            tr.setLeft(tr.left() + glyph.width() + 2);
        }
    }
    const std::string caption = c->Caption();
    p.setFont(headerFont_);
    p.setPen(ColorToQColor(clBtnText));
    const TAlignment al = c->Alignment();
    if (IsMarkup(caption)) {
        TQtHTMLCanvas canvas(p);
        canvas.BaseFont = headerFont_;
        canvas.Font = BaseFontDesc(headerFont_, clBtnText);
        canvas.BrushColor = clBtnFace;
        THTMLDrawParams prm = ListHTMLParams(URLColor, &smallImages_, nullptr, nullptr);
        prm.Selected = true;
        prm.Blink = true;
        THTMLDrawResult res;
        DrawHTMLText(canvas, caption, TRect(tr), prm, res);
    } else if (caption.find('\r') != std::string::npos) {
        DrawFlaggedText(p, tr.adjusted(-2, 0, 2, 0), caption, Alignments[std::min<int>(al, 2)] | DT_NOPREFIX);
    } else {
        DrawFlaggedText(p, tr.adjusted(-2, 0, 2, 0), caption,
                        Alignments[std::min<int>(al, 2)] | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
}

// ---- properties -------------------------------------------------------------------------------------------

QCursor TEnhListView::HandCursor()
{
    // The list's hand lives in the screen's cursor table under its number.
    if (!Screen::HasCursor(crHandPoint)) Screen::SetCursors(crHandPoint, QCursor(Qt::PointingHandCursor));
    return Screen::Cursors(crHandPoint);
}

void TEnhListView::SetCheckTrueGlyph(const QPixmap &p)
{
    checkTrueGlyph_ = p;
    viewport()->update();
}

void TEnhListView::SetCheckFalseGlyph(const QPixmap &p)
{
    checkFalseGlyph_ = p;
    viewport()->update();
}

void TEnhListView::SetSortUpGlyph(const QPixmap &p)
{
    sortUpGlyph_ = p;
    header()->viewport()->update();
}

void TEnhListView::SetSortDownGlyph(const QPixmap &p)
{
    sortDownGlyph_ = p;
    header()->viewport()->update();
}

void TEnhListView::SetWallpaper(const QPixmap &p)
{
    wallpaper_ = p;
    QPalette pal = viewport()->palette();
    if (!wallpaper_.isNull()) pal.setBrush(QPalette::Base, QBrush(wallpaper_));
    else pal.setBrush(QPalette::Base, ColorToQColor(clWindow));
    viewport()->setPalette(pal);
    viewport()->update();
}

void TEnhListView::SetPictureContainer(TPictureContainer *c)
{
    if (pictureContainer_) disconnect(pictureContainer_, &QObject::destroyed, this, nullptr);
    pictureContainer_ = c;
    // A container that goes away is forgotten.
    if (c)
        connect(c, &QObject::destroyed, this, [this] {
            pictureContainer_ = nullptr;
            viewport()->update();
        });
    viewport()->update();
}

void TEnhListView::SetHeaderImages(const QList<QIcon> &images)
{
    headerImages_ = images;
    model_->headerChanged(0, std::max(0, Columns.Count() - 1));
    header()->viewport()->update();
}

void TEnhListView::SetVAlignment(TVAlignment v)
{
    VAlignment = v;
    viewport()->update();
}

void TEnhListView::SetURLColor(TColor c)
{
    URLColor = c;
    viewport()->update();
}

void TEnhListView::SetURLShow(bool on)
{
    URLShow = on;
    viewport()->update();
}

void TEnhListView::SetURLFull(bool on)
{
    URLFull = on;
    viewport()->update();
}

void TEnhListView::SetHoverTime(int Value)
{
    if (Value == HoverTime) return;
    HoverTime = Value;
}

int TEnhListView::GetModuleVersionMS(const std::string &FileName)
{
    std::vector<uint8_t> block = verinfo::ReadVersionBlock(FileName);
    verinfo::TVSFixedFileInfo info;
    if (block.empty() || !verinfo::QueryFixedFileInfo(block.data(), block.size(), info)) return -1;
    return int(info.dwFileVersionMS);
}

// ---- rich text ----------------------------------------------------------------------------------------------

TEnhRichEdit::TEnhRichEdit(QWidget *parent) : QTextEdit(parent)
{
    setGeometry(0, 0, 0, 0);
    setFrameShape(QFrame::NoFrame);
    setVisible(false);
}

namespace {
void setOffset(QTextEdit &e, QTextCharFormat::VerticalAlignment a)
{
    QTextCharFormat f;
    f.setVerticalAlignment(a);
    QTextCursor c = e.textCursor();
    c.mergeCharFormat(f);
    e.setTextCursor(c);
}
} // namespace

void TEnhRichEdit::SelNormal() { setOffset(*this, QTextCharFormat::AlignNormal); }
void TEnhRichEdit::SelSubscript() { setOffset(*this, QTextCharFormat::AlignSubScript); }
void TEnhRichEdit::SelSuperscript() { setOffset(*this, QTextCharFormat::AlignSuperScript); }

std::string TEnhRichEdit::RTFText() const
{
    std::vector<RtfText::TRun> runs;
    bool firstBlock = true;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        if (!firstBlock) runs.push_back(RtfText::TRun{"\r"});
        firstBlock = false;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QTextCharFormat f = frag.charFormat();
            RtfText::TRun r;
            r.Text = ToAnsi(frag.text());
            r.Bold = f.fontWeight() >= QFont::Bold;
            r.Italic = f.fontItalic();
            r.Underline = f.fontUnderline();
            r.Offset = f.verticalAlignment() == QTextCharFormat::AlignSubScript     ? -1
                       : f.verticalAlignment() == QTextCharFormat::AlignSuperScript ? 1
                                                                                      : 0;
            runs.push_back(r);
        }
    }
    return RtfText::FromRuns(runs);
}

void TEnhRichEdit::SetRTFText(const std::string &rtf)
{
    clear();
    QTextCursor c(document());
    for (const RtfText::TRun &r : RtfText::Parse(rtf)) {
        QTextCharFormat f;
        f.setFontWeight(r.Bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(r.Italic);
        f.setFontUnderline(r.Underline);
        f.setVerticalAlignment(r.Offset < 0   ? QTextCharFormat::AlignSubScript
                               : r.Offset > 0 ? QTextCharFormat::AlignSuperScript
                                              : QTextCharFormat::AlignNormal);
        QString s = FromAnsi(r.Text);
        s.replace(QLatin1Char('\r'), QChar::ParagraphSeparator);
        c.insertText(s, f);
    }
}

void TEnhListView::ItemToRich(int Row, int SubItem, TEnhRichEdit &Rich)
{
    TListItem *item = Items.Item(Row);
    if (!item) return;
    const std::string text = SubItem < 0 ? item->Caption() : item->SubItems[SubItem];
    if (text.empty()) Rich.clear();
    else Rich.SetRTFText(text);
}

void TEnhListView::RichToItem(int Row, int SubItem, TEnhRichEdit &Rich)
{
    TListItem *item = Items.Item(Row);
    if (!item) return;
    const std::string rtf = Rich.RTFText();
    if (SubItem < 0) item->SetCaption(rtf);
    else {
        while (item->SubItems.Count() <= SubItem) item->SubItems.Add(std::string());
        item->SubItems.Put(SubItem, rtf);
    }
}

void TEnhListView::RTFPaint(int Row, int SubItem, QPainter &Canvas, QRect Rect)
{
    TListItem *item = Items.Item(Row);
    if (!item || !richEdit_) return;
    ItemToRich(Row, SubItem, *richEdit_);
    QTextDocument *doc = richEdit_->document();
    doc->setDefaultFont(font());
    QColor background = ColorToQColor(clWindow);
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.palette.setColor(QPalette::Text, ColorToQColor(clWindowText));
    if (item->Selected() && !SelectionRTFKeep && &Canvas == ownerDrawCanvas_) {
        QTextCursor c(doc);
        c.setPosition(0);
        c.setPosition(std::min(255, std::max(0, doc->characterCount() - 1)), QTextCursor::KeepAnchor);
        QTextCharFormat f;
        f.setForeground(ColorToQColor(SelectionTextColor));
        c.mergeCharFormat(f);
        background = ColorToQColor(SelectionColor);
    }
    const int inset = 2 * std::max(1, Canvas.device() ? Canvas.device()->logicalDpiX() : 96) / 96;
    Canvas.save();
    Canvas.fillRect(Rect, background);
    Canvas.setClipRect(Rect);
    Canvas.translate(Rect.left() + inset, Rect.top() + inset);
    doc->setTextWidth(std::max(0, Rect.width() - inset));
    ctx.clip = QRectF(0, 0, Rect.width(), Rect.height());
    doc->documentLayout()->draw(&Canvas, ctx);
    Canvas.restore();
}

// ---- rows --------------------------------------------------------------------------------------------------------

QSize TEnhListView::HTMLExtent(const std::string &Text, const QFont &Font)
{
    QImage img(1, 1, QImage::Format_ARGB32);
    QPainter p(&img);
    TQtHTMLCanvas canvas(p);
    canvas.BaseFont = Font;
    canvas.Font = BaseFontDesc(Font);
    THTMLDrawParams prm = ListHTMLParams(URLColor, &smallImages_, pictureCache_.get(), pictureContainer_);
    prm.CheckHeight = true;
    THTMLDrawResult res;
    DrawHTMLText(canvas, Text, TRect(0, 0, 65535, 65535), prm, res);
    return QSize(res.XSize, res.YSize);
}

namespace {

// The system's flat check box: a white square with a dark frame and a tick.
void drawFlatCheck(QPainter &p, const QRect &r, bool checked)
{
    p.save();
    p.fillRect(r, Qt::white);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    if (checked) {
        p.setPen(QPen(Qt::black, 2));
        const int x = r.left(), y = r.top();
        p.drawLine(x + 3, y + 7, x + 6, y + 10);
        p.drawLine(x + 6, y + 10, x + 11, y + 4);
    }
    p.restore();
}

} // namespace

void TEnhListView::LVDrawItem(int Index, QRect Rect, TOwnerDrawState State)
{
    QPainter *canvas = ownerDrawCanvas_;
    TListItem *item = Items.Item(Index);
    if (!canvas || !item) return;
    QPainter &p = *canvas;
    const std::vector<int> order = ColumnDisplayOrder();
    const bool selected = State & odSelected;
    const bool focused = State & odFocused;
    const TFontDesc listFont = defaultFontDesc();
    const TColor listBrush = clWindow;
    TColor rowBrush = listBrush;
    TFontDesc rowFont = listFont;
    if (selected) {
        rowBrush = SelectionColor;
        rowFont.Color = SelectionTextColor;
    }
    int cellBottom = Rect.top() + Rect.height();
    if (DetailView.Visible()) cellBottom = Rect.top() + itemHeight_ - DetailView.Height();
    const bool haveGlyphs = !checkTrueGlyph_.isNull() && !checkFalseGlyph_.isNull();
    // Markup goes to the painter, 2 pixels further in.
    auto paintMarkup = [&](const std::string &text, const QRect &r, const TFontDesc &f, TColor brush) {
        TQtHTMLCanvas hc(p);
        hc.BaseFont = font();
        hc.Font = f;
        hc.BrushColor = brush;
        THTMLDrawResult res;
        DrawHTMLText(hc, text, TRect(r.adjusted(2, 0, 0, 0)),
                     ListHTMLParams(URLColor, &smallImages_, pictureCache_.get(), pictureContainer_), res);
    };
    int x = Rect.left();
    int lastRight = x;
    QRect focusCell;
    for (size_t pos = 0; pos < order.size(); ++pos) {
        const int c = order[pos];
        TListColumn *column = Columns[c];
        const int w = column && !header()->isSectionHidden(c) ? header()->sectionSize(c) : 0;
        const QRect cell(x, Rect.top(), w, std::max(0, cellBottom - Rect.top()));
        x += w;
        lastRight = x;
        if (c == rememberedCol_) focusCell = QRect(cell.left(), Rect.top(), w, Rect.height());
        if (w <= 0) continue;
        std::string text = c == 0 ? item->Caption() : (c - 1 < item->SubItems.Count() ? item->SubItems[c - 1] : "");
        TColor brush = rowBrush;
        TFontDesc font = rowFont;
        if ((selected || focused) && !rowSelect_ && c != rememberedCol_) {
            brush = listBrush;
            font.Color = listFont.Color;
        }
        QueryDrawProp(Index, c - 1, State, brush, font, text);
        const bool cellSelected =
            selected && (rowSelect_ || ((SubItemSelect || SubItemEdit) && c == rememberedCol_) ||
                         (!rowSelect_ && !SubItemSelect && !SubItemEdit && pos == 0));
        if (cellSelected) {
            brush = SelectionColor;
            font.Color = SelectionTextColor;
        }
        if (State & odHotLight) font.Style |= fsUnderline;  // the hot row of the activation styles
        if (URLShow && IsURLCell(text)) {
            if (!(selected && rowSelect_)) {
                font.Style |= fsUnderline;
                font.Color = URLColor;
            }
            if (!URLFull) text = ShortURL(text);
        }
        p.save();
        p.setClipRect(QRect(cell.left(), Rect.top(), w, Rect.height()));
        if (wallpaper_.isNull() || cellSelected)
            p.fillRect(QRect(cell.left(), Rect.top(), w, Rect.height()), ColorToQColor(brush == clNone ? listBrush : brush));
        QRect textRect = cell;
        if (pos == 0 && checkboxes_) {
            const QRect box = CheckBoxRect(cell, VAlignment, haveGlyphs ? checkTrueGlyph_.size() : QSize());
            if (haveGlyphs) p.drawPixmap(box.topLeft(), item->Checked() ? checkTrueGlyph_ : checkFalseGlyph_);
            else drawFlatCheck(p, box, item->Checked());
            textRect.setLeft(cell.left() + CheckBoxAdvance(haveGlyphs ? checkTrueGlyph_.size() : QSize()));
        }
        const bool hasSlot = c == 0 || c - 1 < item->SubItems.Count();
        if (hasSlot && !smallImages_.isEmpty()) {
            const int image = c == 0 ? item->ImageIndex() : (subImages_ ? item->SubItemImage(c - 1) : -1);
            if (image >= 0 && image <= 65534 && image < smallImages_.size()) {
                const QSize is = iconSize().isValid() ? iconSize() : QSize(16, 16);
                const int top = ImageTop(VAlignment, cell, is.height(), itemHeight_);
                const int left = cell.left() + ((pos == 0 && checkboxes_) ? 18 : 2);
                smallImages_[image].paint(&p, QRect(left, top, is.width(), is.height()));
                textRect.setLeft(left + is.width() + 2);
            }
        }
        if (pos == 0) textRect.setLeft(textRect.left() + 16 * std::max(0, item->Indent));
        const QFont qf = toQFont(font);
        p.setFont(qf);
        p.setPen(ColorToQColor(font.Color));
        if (IsRichText(text)) {
            RTFPaint(Index, c - 1, p, textRect);
        } else if (IsMarkup(text)) {
            paintMarkup(text, textRect, font, brush);
        } else {
            DrawFlaggedText(p, textRect, text,
                            CellFlags(text, WordWrap, VAlignment, column ? column->Alignment() : taLeftJustify));
        }
        p.restore();
    }
    if (DetailView.Visible()) {
        TFontDesc df = DetailView.Font();
        if (selected) df.Color = SelectionTextColor;
        QRect dr(Rect.left(), Rect.top() + itemHeight_ - DetailView.Height(), lastRight - Rect.left(),
                 Rect.top() + Rect.height() - (Rect.top() + itemHeight_ - DetailView.Height()));
        p.save();
        if (DetailView.SplitLine()) {
            p.setPen(Qt::black);
            p.drawLine(dr.left(), dr.top(), dr.right(), dr.top());
            dr.setTop(dr.top() + 1);
        }
        dr.setLeft(dr.left() + DetailView.Indent());
        const int dc = DetailView.Column();
        const std::string text =
            dc == 0 ? item->Caption() : (dc - 1 < item->SubItems.Count() ? item->SubItems[dc - 1] : std::string());
        p.setFont(toQFont(df));
        p.setPen(ColorToQColor(df.Color));
        if (IsMarkup(text)) {
            paintMarkup(text, dr, df, clNone);
        } else {
            DrawFlaggedText(p, dr, text, CellTextFlags | DT_WORDBREAK);
        }
        p.restore();
    }
    QRect drawn = Rect;
    if (selected && focused && hasFocus()) {
        if (!rowSelect_ && focusCell.isValid()) drawn = focusCell;
        p.save();
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(drawn.adjusted(0, 0, -1, -1));
        p.restore();
    }
    if (OnDrawItem) OnDrawItem(this, &p, Index, drawn, State);
}

void TEnhListView::paintOwnerDrawn(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    auto *self = const_cast<TEnhListView *>(this);
    TListItem *item = Items.Item(index.row());
    QRect rect = option.rect;
    rect.setLeft(-horizontalOffset());
    if (!item) {
        painter->fillRect(option.rect, ColorToQColor(clWindow));
        return;
    }
    TOwnerDrawState state = 0;
    if (item->Selected()) state |= odSelected;
    if (item->Focused()) state |= odFocused;
    if (HotRowUnderlined(index.row())) state |= odHotLight;
    self->ownerDrawCanvas_ = painter;
    painter->save();
    self->LVDrawItem(index.row(), rect, state);
    painter->restore();
    self->ownerDrawCanvas_ = nullptr;
}

// ---- links under the pointer --------------------------------------------------------------------------------

bool TEnhListView::hitCellAnchor(int row, int col, const QPoint &pt, double res, std::string &anchor)
{
    const std::string text = GetTextAtColRow(col, row);
    TColor brush = clWindow;
    TFontDesc fd = defaultFontDesc();
    QueryDrawProp(row, col - 1, 0, brush, fd, text);
    QImage img(1, 1, QImage::Format_ARGB32);
    QPainter p(&img);
    TQtHTMLCanvas canvas(p);
    canvas.BaseFont = font();
    canvas.Font = fd;
    THTMLDrawParams prm = ListHTMLParams(URLColor, &smallImages_, pictureCache_.get(), pictureContainer_);
    prm.CheckHotSpot = true;
    prm.Selected = true;
    prm.X = pt.x();
    prm.Y = pt.y();
    prm.ResFactor = res;
    THTMLDrawResult r;
    const bool hit = DrawHTMLText(canvas, text, TRect(GetItemRect(row, col).adjusted(2, 0, 0, 0)), prm, r);
    anchor = r.Anchor;
    return hit;
}

void TEnhListView::leaveAnchor()
{
    if (!anchorHover_) return;
    const std::string left = hoveredAnchor_;
    hoveredAnchor_.clear();
    anchorHover_ = false;
    if (OnAnchorExit) OnAnchorExit(this, left);
}

void TEnhListView::linkMouseMove(const QPoint &p)
{
    int col = 0, row = 0;
    bool onLink = false;
    if (GetIndexAtPoint(p.x(), p.y(), col, row)) {
        const std::string text = GetTextAtColRow(col, row);
        if (URLShow && IsURLCell(text) && (!checkboxes_ || p.x() > 16)) onLink = true;
        std::string anchor;
        if (IsMarkup(text) && hitCellAnchor(row, col, p, 1.0, anchor)) {
            onLink = true;
            // Moving straight from one anchor to another fires nothing.
            if (!anchorHover_ && anchor != hoveredAnchor_) {
                if (OnAnchorEnter) OnAnchorEnter(this, anchor);
                hoveredAnchor_ = anchor;
                anchorHover_ = true;
            }
        }
    }
    if (!onLink) leaveAnchor();
    if (onLink) viewport()->setCursor(HandCursor());
    else viewport()->unsetCursor();
}

bool TEnhListView::linkButtonDown(const QPoint &p)
{
    int col = 0, row = 0;
    if (!GetIndexAtPoint(p.x(), p.y(), col, row)) return false;
    const std::string text = GetTextAtColRow(col, row);
    if (IsMarkup(text)) {
        std::string anchor;
        if (hitCellAnchor(row, col, p, 0.0, anchor)) {
            if (anchor.find("://") == std::string::npos) {
                if (OnAnchorClick) OnAnchorClick(this, anchor);
            } else {
                bool handled = false;
                if (OnURLClick) OnURLClick(this, row, anchor, handled);
                if (!handled) OpenURL(anchor);
            }
            return true;
        }
        return false;
    }
    if (URLShow && !(checkboxes_ && p.x() <= 14) && IsURLCell(text)) {
        bool handled = false;
        if (OnURLClick) OnURLClick(this, rememberedRow_, text, handled);
        if (!handled) OpenURL(text);
        return true;
    }
    return false;
}

void TEnhListView::leaveEvent(QEvent *e)
{
    leaveAnchor();
    hoverLeave();
    QTreeView::leaveEvent(e);
}

// ---- header notifications ------------------------------------------------------------------------------------

namespace {

// The column whose right divider lies under x (header viewport coordinates), -1 for none.
int dividerAt(const QHeaderView &h, int x)
{
    const int grip = h.style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, &h);
    int found = -1;
    for (int v = 0; v < h.count(); ++v) {
        const int logical = h.logicalIndex(v);
        if (h.isSectionHidden(logical)) continue;
        const int edge = h.sectionViewportPosition(logical) + h.sectionSize(logical);
        if (std::abs(x - edge) <= grip) found = logical;
    }
    return found;
}

} // namespace

bool TEnhListView::headerEvent(QEvent *e)
{
    switch (e->type()) {
    case QEvent::MouseMove:
        headerHover(header()->logicalIndexAt(static_cast<QMouseEvent *>(e)->position().toPoint().x()));
        return false;
    case QEvent::Leave:
        headerHover(-1);
        return false;
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(e);
        const QPoint p = me->position().toPoint();
        if (me->button() == Qt::RightButton) {
            if (OnColumnRClick) OnColumnRClick(this, header()->logicalIndexAt(p.x()));
            return false;
        }
        if (me->button() != Qt::LeftButton || header()->sectionResizeMode(0) == QHeaderView::Fixed) return false;
        const int column = dividerAt(*header(), p.x());
        if (column < 0) return false;
        if (OnStartColumnTrack) {
            bool allow = true;
            OnStartColumnTrack(this, column, allow);
            if (!allow) return true; // the drag is forbidden
        }
        headerTracking_ = true;
        trackingColumn_ = column;
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto *me = static_cast<QMouseEvent *>(e);
        if (me->button() != Qt::LeftButton || !headerTracking_) return false;
        headerTracking_ = false;
        const int column = trackingColumn_;
        trackingColumn_ = -1;
        if (OnEndColumnTrack) OnEndColumnTrack(this, column);
        reapplySortIndicator();
        if (OnColumnSized) OnColumnSized(this, column);
        header()->viewport()->update();
        return false;
    }
    default: return false;
    }
}

void TEnhListView::reapplySortIndicator()
{
    if (!sortShow_ || lastSortedColumn_ < 0) return;
    if ((sortUpGlyph_.isNull() || sortDownGlyph_.isNull()) && !headerImages_.isEmpty())
        SetColumnImage(lastSortedColumn_, sortDirection_ == sdDescending ? 1 : 0);
    header()->viewport()->update();
}

bool TEnhListView::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == header()->viewport() && headerEvent(e)) return true;
    return QTreeView::eventFilter(watched, e);
}

void TEnhListView::scrollContentsBy(int dx, int dy)
{
    QTreeView::scrollContentsBy(dx, dy);
    // A tiled wallpaper stays aligned only when the whole list is repainted.
    if (dy != 0 && !wallpaper_.isNull() && wallpaper_.height() != itemHeight_) viewport()->update();
    if (dx != 0 && filterBar_) filterBar_->Relayout();
}

void TEnhListView::updateGeometries()
{
    QTreeView::updateGeometries();
    if (filterBar_ && FilterBar) {
        const int barH = filterBar_->BarHeight();
        const int headerH = header()->isHidden() ? 0 : header()->sizeHint().height();
        setViewportMargins(0, headerH + barH, 0, 0);
        const QRect vg = viewport()->geometry();
        header()->setGeometry(vg.left(), vg.top() - headerH - barH, vg.width(), headerH);
        filterBar_->setGeometry(vg.left(), vg.top() - barH, vg.width(), barH);
        filterBar_->Relayout();
        filterBar_->show();
        filterBar_->raise();
    } else if (filterBar_) {
        filterBar_->hide();
    }
}
