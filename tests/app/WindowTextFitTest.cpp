// Every window of the program, opened the way the program opens it, shows
// the whole text of each label, button, check box, radio button and group
// title at the fonts it uses: the text's width at the control's font is no
// wider than the room the control gives it (the inside of its frame, the
// part beside a check box's or radio button's indicator, the part of a
// button inside its bevel or frame, the part of a group box from where its
// title starts).
#include "app/ProgramHome.h"
#include "app/Startup.h"
#include "platform/ScriptedDialogs.h"
#include "reports/Preview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
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
#include <map>
#include <optional>
#include <string>
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

// The room a control gives its text, and the text's width; nothing for
// controls that show no text of their own.
std::optional<Misfit> Measure(QWidget *w)
{
    QStyle *style = w->style();
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->text().isEmpty() || label->wordWrap() || label->textFormat() == Qt::RichText ||
            (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text())))
            return std::nullopt;
        const QFontMetrics fm(label->font());
        int room = label->contentsRect().width() - 2 * label->margin();
        // A framed label indents its text by half an x unless told otherwise.
        if (label->indent() > 0)
            room -= label->indent();
        else if (label->indent() < 0 && label->frameWidth() > 0)
            room -= fm.horizontalAdvance(u'x') / 2;
        return Misfit {TextWidth(fm, Shown(label->text(), label->buddy() != nullptr)), room,
                       "\"" + label->text().toStdString() + "\""};
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

TEST(WindowTextFit, EveryWindowShowsItsWholeTexts)
{
    programtest::ProgramHome home;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped {dialogs};
    std::map<std::string, Misfit> misfits;
    int checked = 0;
    std::vector<std::string> windowNames;
    {
        Startup::Windows windows;
        Startup::CreateWindows(windows);
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
