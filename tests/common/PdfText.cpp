#include "common/PdfText.h"
#include "common/TestUtil.h"

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace testutil {

// The words of page `page` (0-based) as pdftotext -bbox-layout finds them.
std::vector<Word> pdfWords(const std::string &pdf, int page, int *pages)
{
    const std::string html = pdf + ".html";
    QProcess p;
    p.start("pdftotext", {"-bbox-layout", QString::fromStdString(pdf), QString::fromStdString(html)});
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QString text = QString::fromStdString(testutil::readFile(html));
    const QStringList pageTexts = text.split("<page ");
    if (pages)
        *pages = int(pageTexts.size()) - 1;
    std::vector<Word> words;
    if (page + 1 >= pageTexts.size())
        return words;
    static const QRegularExpression re(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    auto it = re.globalMatch(pageTexts[page + 1]);
    while (it.hasNext()) {
        const auto m = it.next();
        words.push_back({m.captured(5).toStdString(), m.captured(1).toDouble(), m.captured(2).toDouble(),
                         m.captured(3).toDouble(), m.captured(4).toDouble()});
    }
    return words;
}

const Word *find(const std::vector<Word> &words, const std::string &text, int nth)
{
    for (const Word &w : words)
        if (w.text == text && nth-- == 0)
            return &w;
    return nullptr;
}

} // namespace testutil
