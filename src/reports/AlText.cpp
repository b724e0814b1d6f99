#include "reports/AlText.h"
#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "reports/AlPrinter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

int TAlFont::Height() const
{
    return -AlMulDiv(Size, 96, 72);
}

void TAlFont::SetHeight(int height)
{
    Size = -AlMulDiv(height, 72, 96);
}

QFont AlDeviceFont(const TAlFont &font, int dpiY)
{
    QFont f;
    if (font.Name.empty() || Rtl::SameText(font.Name, "MS Sans Serif")) {
        f.setFamily(QStringLiteral("Sans Serif"));
        f.setStyleHint(QFont::SansSerif);
    } else {
        f.setFamily(FromAnsi(font.Name));
        if (Rtl::SameText(font.Name, "Arial"))
            f.setStyleHint(QFont::SansSerif);
    }
    f.setPixelSize(std::max(1, std::abs(AlMulDiv(font.Size, dpiY, 72))));
    f.setBold(font.Style & fsBold);
    f.setItalic(font.Style & fsItalic);
    f.setUnderline(font.Style & fsUnderline);
    f.setStrikeOut(font.Style & fsStrikeOut);
    // The same glyph advances on every device, so what was measured is what
    // is drawn.
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    return f;
}

namespace {

int tabWidth(const QFont &font)
{
    return std::max(1, 8 * QFontMetrics(font).averageCharWidth());
}

// Calls f(x, piece) for the pieces of a line between tabs, x being where the
// piece starts; returns the width of the whole line.
template <class F>
int walkLine(const QString &line, const QFont &font, unsigned flags, F f)
{
    const QFontMetricsF fm(font);
    if (!(flags & DT_EXPANDTABS) || !line.contains(u'\t')) {
        f(0.0, line);
        return qRound(fm.horizontalAdvance(line));
    }
    const int tab = tabWidth(font);
    qreal x = 0;
    const QStringList pieces = line.split(u'\t');
    for (int i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            x = (int(x) / tab + 1) * tab;
        f(x, pieces[i]);
        x += fm.horizontalAdvance(pieces[i]);
    }
    return qRound(x);
}

QString trimTrailingBlanks(const QString &s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return s.left(n);
}

// The lines of one paragraph (text without line breaks) at the given width.
void wrapParagraph(const QString &para, const QFont &font, int width, unsigned flags,
                   QStringList &lines)
{
    const qsizetype n = para.size();
    qsizetype i = 0;
    for (;;) {
        // The longest run of whole words from i that fits; the first word is
        // taken even when it does not fit.
        qsizetype end = -1;
        qsizetype k = i;
        for (;;) {
            qsizetype b = para.indexOf(u' ', k);
            if (b < 0)
                b = n;
            if (b > k || end < 0) {
                const QString candidate = trimTrailingBlanks(para.mid(i, b - i));
                if (end >= 0 && AlLineWidth(candidate, font, flags) > width)
                    break;
                end = b;
            }
            if (b >= n)
                break;
            k = b + 1;
        }
        lines << trimTrailingBlanks(para.mid(i, end - i));
        i = end;
        while (i < n && para[i] == u' ')
            ++i;
        if (i >= n)
            break;
    }
}

} // namespace

int AlLineWidth(const QString &line, const QFont &font, unsigned flags)
{
    return walkLine(line, font, flags, [](qreal, const QString &) {});
}

int AlLineHeight(const QFont &font)
{
    const QFontMetrics fm(font);
    return fm.ascent() + fm.descent();
}

QStringList AlLayoutLines(const std::string &text, const QFont &font, int width, unsigned flags)
{
    QStringList lines;
    const QString all = FromAnsi(text);
    // Paragraphs at CR LF, LF and CR; a final line break adds no line.
    QStringList paras;
    qsizetype start = 0, i = 0;
    const qsizetype n = all.size();
    while (i < n) {
        const QChar c = all[i];
        if (c == u'\r' || c == u'\n') {
            paras << all.mid(start, i - start);
            if (c == u'\r' && i + 1 < n && all[i + 1] == u'\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n || paras.isEmpty())
        paras << all.mid(start);
    for (const QString &p : paras) {
        if (flags & DT_WORDBREAK)
            wrapParagraph(p, font, width, flags, lines);
        else
            lines << p;
    }
    return lines;
}

int AlDrawText(QPainter *painter, const std::string &text, TRect &rect, unsigned flags,
               const QFont &font, TColor color)
{
    const QStringList lines = AlLayoutLines(text, font, rect.Width(), flags);
    const int lineHeight = AlLineHeight(font);
    const int height = lineHeight * int(lines.size());
    if (flags & DT_CALCRECT) {
        int width = 0;
        for (const QString &l : lines)
            width = std::max(width, AlLineWidth(l, font, flags));
        rect.Right = rect.Left + width;
        rect.Bottom = rect.Top + height;
        return height;
    }
    if (!painter)
        return height;
    painter->save();
    if (!(flags & DT_NOCLIP))
        painter->setClipRect(rect.ToQRect(), Qt::IntersectClip);
    painter->setFont(font);
    painter->setPen(ColorToQColor(color));
    const int ascent = QFontMetrics(font).ascent();
    int y = rect.Top;
    for (const QString &l : lines) {
        if (y >= rect.Bottom && !(flags & DT_NOCLIP))
            break;
        int x = rect.Left;
        if (flags & (DT_RIGHT | DT_CENTER)) {
            const int w = AlLineWidth(l, font, flags);
            x = (flags & DT_RIGHT) ? rect.Right - w : rect.Left + (rect.Width() - w) / 2;
        }
        walkLine(l, font, flags, [&](qreal dx, const QString &piece) {
            if (!piece.isEmpty())
                painter->drawText(QPointF(x + dx, y + ascent), piece);
        });
        y += lineHeight;
    }
    painter->restore();
    return height;
}
