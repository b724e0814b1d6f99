// Every window of the program, opened the way the program opens it, shows
// the whole text of each label, button, check box, radio button and group
// title at the fonts it uses: the text's width at the control's font is no
// wider than the room the control gives it (the inside of its frame, the
// part beside a check box's or radio button's indicator, the part of a
// button inside its bevel or frame, the part of a group box from where its
// title starts), and a label's text ends a little before the next control
// on its row begins.
//
// The fonts are those of a newcomer's machine: the test runs itself again in
// a child process whose font configuration holds only the font files of the
// font packages that scripts/deps installs (read from it), nothing of this
// machine's other fonts (the test packages bring more, the mail server's
// documentation fonts-lato among them) and no user's fonts. The windows'
// font must be a proportional one from those packages.
#include "app/ProgramHome.h"
#include "app/Startup.h"
#include "common/TestUtil.h"
#include "platform/ScriptedDialogs.h"
#include "reports/Preview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFontDatabase>
#include <QFontInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QStyleOptionToolButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The text as drawn: a button shows "&x" as an underlined x, "&&" as "&";
// a label does so only when it has a buddy.
QString Shown(QString text, bool mnemonics)
{
    if (!mnemonics)
        return text;
    QString r;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        r += text[i];
    }
    return r;
}

// The widest line of a text.
int TextWidth(const QFontMetrics &fm, const QString &text)
{
    int w = 0;
    for (const QString &line : text.split(u'\n'))
        w = std::max(w, fm.horizontalAdvance(line));
    return w;
}

struct Misfit {
    int text = 0;
    int room = 0;
    std::string what;
};

std::string NameOf(const QWidget *w)
{
    std::string path = w->objectName().toStdString();
    for (const QWidget *p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (!p->objectName().isEmpty() && !p->objectName().startsWith(QLatin1String("qt_")))
            path = p->objectName().toStdString() + "/" + path;
    return w->window()->objectName().toStdString() + ": " + path;
}

// A label that shows plain text of its own.
bool PlainLabel(const QLabel *label)
{
    return !label->text().isEmpty() && !label->wordWrap() && label->textFormat() != Qt::RichText &&
           !(label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
}

// Where a label's text lies across it: its room (start and width) and the
// text's own width.
struct LabelText {
    int start = 0;
    int room = 0;
    int width = 0;
};

LabelText Span(const QLabel *label)
{
    const QFontMetrics fm(label->font());
    LabelText t;
    t.start = label->contentsRect().left() + label->margin();
    t.room = label->contentsRect().width() - 2 * label->margin();
    // A framed label indents its text by half an x unless told otherwise.
    int indent = 0;
    if (label->indent() > 0)
        indent = label->indent();
    else if (label->indent() < 0 && label->frameWidth() > 0)
        indent = fm.horizontalAdvance(u'x') / 2;
    t.room -= indent;
    if (!(label->alignment() & Qt::AlignRight))
        t.start += indent;
    t.width = TextWidth(fm, Shown(label->text(), label->buddy() != nullptr));
    return t;
}

// A label's text must end this far before the next control on its row.
constexpr int kLabelGap = 3;

// The control on a label's row that the label's text runs into: it begins
// less than kLabelGap after the text's end.
std::optional<Misfit> RunsInto(QLabel *label)
{
    if (!PlainLabel(label) || !label->parentWidget())
        return std::nullopt;
    const LabelText t = Span(label);
    const Qt::Alignment h = label->alignment() & Qt::AlignHorizontal_Mask;
    const int offset = h & Qt::AlignRight ? t.room - t.width : h & Qt::AlignHCenter ? (t.room - t.width) / 2 : 0;
    // Where the text shows its last mark: blanks after it are room already.
    QString shown = Shown(label->text(), label->buddy() != nullptr);
    while (!shown.isEmpty() && shown.back().isSpace())
        shown.chop(1);
    const int end = label->x() + t.start + std::max(offset, 0) + TextWidth(QFontMetrics(label->font()), shown);
    for (QWidget *next : label->parentWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (next == label || !next->isVisibleTo(label->window()) || next->x() <= label->x())
            continue;
        const QRect r = next->geometry();
        if (r.top() >= label->geometry().bottom() || r.bottom() <= label->geometry().top())
            continue;
        if (r.left() - end < kLabelGap)
            return Misfit {end + kLabelGap - label->x(), r.left() - label->x(),
                           "\"" + label->text().toStdString() + "\" runs into " +
                               next->objectName().toStdString() + " (text and gap of " + std::to_string(kLabelGap) +
                               " px)"};
    }
    return std::nullopt;
}

// The room a control gives its text, and the text's width; nothing for
// controls that show no text of their own.
std::optional<Misfit> Measure(QWidget *w)
{
    QStyle *style = w->style();
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (!PlainLabel(label))
            return std::nullopt;
        const LabelText t = Span(label);
        return Misfit {t.width, t.room, "\"" + label->text().toStdString() + "\""};
    }
    if (auto *group = qobject_cast<QGroupBox *>(w)) {
        if (group->title().isEmpty())
            return std::nullopt;
        QStyleOptionGroupBox opt;
        opt.initFrom(group);
        opt.text = group->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        if (group->isCheckable())
            opt.subControls |= QStyle::SC_GroupBoxCheckBox;
        opt.lineWidth = 1;
        opt.textAlignment = group->alignment();
        const QRect label = style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
        // The title starts where the style puts it and must end inside the box.
        const int text = TextWidth(group->fontMetrics(), Shown(group->title(), true));
        return Misfit {text, group->width() - label.left(), "title \"" + group->title().toStdString() + "\""};
    }
    auto *button = qobject_cast<QAbstractButton *>(w);
    if (!button || button->text().isEmpty())
        return std::nullopt;
    QStyleOptionButton opt;
    opt.initFrom(button);
    opt.text = button->text();
    opt.icon = button->icon();
    opt.iconSize = button->iconSize();
    QStyle::SubElement element;
    if (qobject_cast<QCheckBox *>(button))
        element = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton *>(button))
        element = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<QPushButton *>(button))
        element = QStyle::SE_PushButtonContents;
    else if (auto *tool = qobject_cast<QToolButton *>(button)) {
        if (tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !tool->icon().isNull())
            return std::nullopt;
        // The text is drawn inside the button's frame.
        QStyleOptionToolButton topt;
        topt.initFrom(tool);
        topt.subControls = QStyle::SC_ToolButton;
        const QRect r = style->subControlRect(QStyle::CC_ToolButton, &topt, QStyle::SC_ToolButton, tool);
        const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &topt, tool);
        return Misfit {TextWidth(tool->fontMetrics(), Shown(tool->text(), true)), r.width() - 2 * frame,
                       "\"" + tool->text().toStdString() + "\""};
    } else {
        return std::nullopt;
    }
    const QRect room = style->subElementRect(element, &opt, button);
    const int iconRoom = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return Misfit {TextWidth(button->fontMetrics(), Shown(button->text(), true)) + iconRoom, room.width(),
                   "\"" + button->text().toStdString() + "\""};
}

// Checks the controls of a window that are showing now; a tab widget's pages
// are each brought to the front in turn.
void CheckShowing(QWidget *window, std::map<std::string, Misfit> &misfits, int &checked)
{
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window))
            continue;
        if (auto m = Measure(w)) {
            ++checked;
            if (m->text > m->room)
                misfits[NameOf(w)] = *m;
            else if (auto *label = qobject_cast<QLabel *>(w))
                if (auto into = RunsInto(label))
                    misfits[NameOf(w)] = *into;
        }
    }
}

void CheckWindow(QWidget *window, std::map<std::string, Misfit> &misfits, int &checked)
{
    window->show();
    QApplication::processEvents();
    CheckShowing(window, misfits, checked);
    for (QTabWidget *tabs : window->findChildren<QTabWidget *>()) {
        if (!tabs->isVisibleTo(window))
            continue;
        const int current = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QApplication::processEvents();
            CheckShowing(window, misfits, checked);
        }
        tabs->setCurrentIndex(current);
    }
    window->hide();
    QApplication::processEvents();
}

// The font packages of the list of packages that building and running the
// program need in scripts/deps (not the test packages).
std::vector<std::string> DepsFontPackages()
{
    const std::string deps = testutil::readFile(testutil::sourcePath("scripts/deps"));
    const size_t start = deps.find("packages=(");
    const size_t end = start == std::string::npos ? start : deps.find(')', start);
    std::vector<std::string> out;
    if (end == std::string::npos)
        return out;
    const QString list = QString::fromStdString(deps.substr(start, end - start));
    auto it = QRegularExpression(QStringLiteral("(?<![\\w-])fonts-[a-z0-9.+-]+")).globalMatch(list);
    while (it.hasNext())
        out.push_back(it.next().captured().toStdString());
    return out;
}

// What a command printed, or nothing when it failed.
std::optional<std::string> Output(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput().toStdString();
}

// A font configuration that holds the font files of those packages and
// nothing else, in a folder of its own (with the cache and an empty home
// for the child process).
struct NewcomersFonts {
    NewcomersFonts()
    {
        for (const char *sub : {"fonts", "cache", "home"})
            mkdir(dir.file(sub).c_str(), 0700);
        packages = DepsFontPackages();
        if (packages.empty())
            why = "scripts/deps names no font package";
        for (const std::string &package : packages) {
            const auto files = Output(QStringLiteral("dpkg-query"), {QStringLiteral("-L"), QString::fromStdString(package)});
            if (!files) {
                why = package + ", which scripts/deps installs, is not installed here: run scripts/deps";
                return;
            }
            for (const QString &file : QString::fromStdString(*files).split(u'\n')) {
                static const QRegularExpression font(QStringLiteral("\\.(ttf|otf|ttc|pfb|pfa|pcf|pcf\\.gz)$"),
                                                     QRegularExpression::CaseInsensitiveOption);
                struct stat st;
                if (!font.match(file).hasMatch() || stat(file.toLocal8Bit().constData(), &st) != 0 ||
                    !S_ISREG(st.st_mode))
                    continue;
                // Under their own names, a folder for each package, as
                // the packages lay them out.
                const std::string folder = dir.file("fonts/" + package);
                mkdir(folder.c_str(), 0700);
                const std::string target = folder + "/" + file.section(u'/', -1).toStdString();
                if (symlink(file.toLocal8Bit().constData(), target.c_str()) == 0)
                    ++count;
            }
        }
        testutil::writeFile(dir.file("fonts.conf"),
                            "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                            "<fontconfig>\n  <dir>" + dir.file("fonts") + "</dir>\n  <cachedir>" + dir.file("cache") +
                                "</cachedir>\n  <include ignore_missing=\"yes\">/etc/fonts/conf.d</include>\n"
                                "</fontconfig>\n");
    }
    testutil::TempDir dir;
    std::vector<std::string> packages;
    int count = 0;
    std::string why;
};

// The variable that tells the child where the packages' fonts are.
const char *const kFontsVariable = "MIXDECK_FIT_FONTS";

// In the child: every family the windows can meet comes from the packages'
// font files, and the windows' font is a proportional one of them.
void ExpectOnlyThePackagesFonts(const std::string &fontDir, const std::vector<QWidget *> &windows)
{
    std::set<QString> packaged;
    QDirIterator files(QString::fromStdString(fontDir), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const int id = QFontDatabase::addApplicationFont(files.next());
        for (const QString &family : QFontDatabase::applicationFontFamilies(id))
            packaged.insert(family);
        QFontDatabase::removeApplicationFont(id);
    }
    ASSERT_FALSE(packaged.empty());
    // (Qt lists the generic names of fontconfig's aliases as families too.)
    const std::set<QString> generic = {QStringLiteral("Sans Serif"), QStringLiteral("Serif"), QStringLiteral("Monospace")};
    for (const QString &family : QFontDatabase::families())
        EXPECT_TRUE(packaged.count(family) || generic.count(family))
            << "a font from outside the packages: " << family.toStdString();
    for (QWidget *w : windows) {
        const QFontInfo info(w->font());
        EXPECT_TRUE(packaged.count(info.family())) << w->objectName().toStdString() << ": " << info.family().toStdString();
        EXPECT_FALSE(info.fixedPitch()) << w->objectName().toStdString() << " shows its texts in a monospace font, "
                                        << info.family().toStdString();
    }
}

TEST(WindowTextFit, EveryWindowShowsItsWholeTexts)
{
    const char *fontDir = std::getenv(kFontsVariable);
    if (!fontDir) {
        // Here: the same test again in a child process that has only the
        // fonts of a newcomer's machine.
        NewcomersFonts fonts;
        ASSERT_TRUE(fonts.why.empty()) << fonts.why;
        ASSERT_GT(fonts.count, 0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FONTCONFIG_FILE"), QString::fromStdString(fonts.dir.file("fonts.conf")));
        for (const char *v : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            env.insert(QString::fromLatin1(v), QString::fromStdString(fonts.dir.file("home")));
        env.insert(QString::fromLatin1(kFontsVariable), QString::fromStdString(fonts.dir.file("fonts")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=WindowTextFit.EveryWindowShowsItsWholeTexts")});
        ASSERT_TRUE(child.waitForFinished(300000));
        const std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output;
        EXPECT_EQ(child.exitCode(), 0) << "under the fonts of " << testing::PrintToString(fonts.packages) << ":\n"
                                       << output;
        return;
    }

    programtest::ProgramHome home;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped {dialogs};
    std::map<std::string, Misfit> misfits;
    int checked = 0;
    std::vector<std::string> windowNames;
    {
        Startup::Windows windows;
        Startup::CreateWindows(windows);
        std::vector<QWidget *> all;
        for (auto &w : windows)
            all.push_back(w.get());
        ExpectOnlyThePackagesFonts(fontDir, all);
        for (auto &w : windows) {
            windowNames.push_back(w->objectName().toStdString());
            CheckWindow(w.get(), misfits, checked);
        }
        {
            // The print preview, as the main window makes one for a report.
            TPreviewForm preview(windows.front().get());
            windowNames.push_back(preview.objectName().toStdString());
            CheckWindow(&preview, misfits, checked);
        }
        while (!windows.empty())
            windows.pop_back();
    }

    // The windows the newcomer meets are all there.
    for (const char *name : {"TMainForm", "TModifyForm", "TGrabCDForm", "TCDDBOptForm", "TQueueForm",
                             "TAdviceForm", "TChooseCDForm", "TUpdateForm", "TAboutForm", "TPreviewForm"})
        EXPECT_NE(std::find(windowNames.begin(), windowNames.end(), name), windowNames.end()) << name;
    EXPECT_GT(checked, 100);
    for (const auto &[name, m] : misfits)
        ADD_FAILURE() << name << " " << m.what << " needs " << m.text << " px, has " << m.room;
}

} // namespace
