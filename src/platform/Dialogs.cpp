#include "platform/Dialogs.h"

#include "platform/Rtl.h"

#include "platform/Cp1252.h"
#include "platform/Opener.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Dialogs {

// ---- buttons ---------------------------------------------------------------
namespace {
constexpr Button kOrder[] = {Button::OK, Button::Abort, Button::Retry, Button::Ignore,
                             Button::Yes, Button::No, Button::Cancel};
}

std::vector<Button> ButtonsInOrder(Buttons buttons)
{
    std::vector<Button> r;
    for (Button b : kOrder)
        if (buttons.Has(b))
            r.push_back(b);
    return r;
}

Button EffectiveDefault(Buttons buttons, Button defaultButton)
{
    if (buttons.Empty())
        return Button::OK;
    if (buttons.Has(defaultButton))
        return defaultButton;
    return ButtonsInOrder(buttons).front();
}

const char *ButtonName(Button b)
{
    switch (b) {
    case Button::OK: return "OK";
    case Button::Cancel: return "Cancel";
    case Button::Yes: return "Yes";
    case Button::No: return "No";
    case Button::Abort: return "Abort";
    case Button::Retry: return "Retry";
    case Button::Ignore: return "Ignore";
    case Button::None: break;
    }
    return "None";
}

const char *IconName(Icon i)
{
    switch (i) {
    case Icon::Information: return "Information";
    case Icon::Warning: return "Warning";
    case Icon::Error: return "Error";
    case Icon::Question: return "Question";
    case Icon::None: break;
    }
    return "None";
}

// ---- filters ---------------------------------------------------------------
namespace {
std::vector<std::string> Split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : s) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    parts.push_back(cur);
    return parts;
}

} // namespace

std::vector<std::string> QtFilterList(const std::string &windowsFilter)
{
    std::vector<std::string> result;
    if (windowsFilter.empty())
        return result;
    std::vector<std::string> parts = Split(windowsFilter, '|');
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns;
        for (const std::string &p : Split(parts[i + 1], ';')) {
            std::string t = Rtl::Trim(p);
            if (t.empty())
                continue;
            if (!patterns.empty())
                patterns += ' ';
            patterns += t;
        }
        if (patterns.empty())
            patterns.assign(1, '*');  // (a literal assignment trips a false -Wrestrict in GCC 12)
        std::string desc = Rtl::Trim(parts[i]);
        if (desc.empty())
            desc = patterns;
        result.push_back(desc + " (" + patterns + ")");
    }
    return result;
}

std::string QtFilter(const std::string &windowsFilter)
{
    std::string r;
    for (const std::string &f : QtFilterList(windowsFilter)) {
        if (!r.empty())
            r += ";;";
        r += f;
    }
    return r;
}

// ---- shell -----------------------------------------------------------------
namespace {
bool HasScheme(const std::string &t)
{
    // A scheme of two or more characters followed by ':' (one letter would
    // be a drive letter, which has no meaning here).
    size_t i = 0;
    while (i < t.size()) {
        unsigned char c = static_cast<unsigned char>(t[i]);
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok)
            break;
        ++i;
    }
    return i >= 2 && i < t.size() && t[i] == ':';
}

QUrl ToUrl(const std::string &target)
{
    if (HasScheme(target))
        return QUrl(FromAnsi(target), QUrl::TolerantMode);
    return QUrl::fromLocalFile(QFileInfo(QFile::decodeName(target.c_str())).absoluteFilePath());
}
} // namespace

std::string ShellUrl(const std::string &target)
{
    return ToAnsi(QString::fromLatin1(ToUrl(target).toEncoded()));
}

// ---- the real service ----------------------------------------------------
namespace {

QString Path(const std::string &bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

std::string PathBytes(const QString &path)
{
    QByteArray b = QFile::encodeName(path);
    return std::string(b.constData(), size_t(b.size()));
}

QMessageBox::StandardButton ToQt(Button b)
{
    switch (b) {
    case Button::OK: return QMessageBox::Ok;
    case Button::Cancel: return QMessageBox::Cancel;
    case Button::Yes: return QMessageBox::Yes;
    case Button::No: return QMessageBox::No;
    case Button::Abort: return QMessageBox::Abort;
    case Button::Retry: return QMessageBox::Retry;
    case Button::Ignore: return QMessageBox::Ignore;
    case Button::None: break;
    }
    return QMessageBox::NoButton;
}

Button FromQt(QMessageBox::StandardButton b)
{
    switch (b) {
    case QMessageBox::Ok: return Button::OK;
    case QMessageBox::Cancel: return Button::Cancel;
    case QMessageBox::Yes: return Button::Yes;
    case QMessageBox::No: return Button::No;
    case QMessageBox::Abort: return Button::Abort;
    case QMessageBox::Retry: return Button::Retry;
    case QMessageBox::Ignore: return Button::Ignore;
    default: break;
    }
    return Button::None;
}

QMessageBox::Icon ToQt(Icon i)
{
    switch (i) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// The button that closing the box (Escape, close box) stands for.
Button EscapeButton(Buttons set)
{
    if (set.Has(Button::Cancel))
        return Button::Cancel;
    if (set.Empty() || set == Buttons(Button::OK))
        return Button::OK;
    if (set.Has(Button::No))
        return Button::No;
    if (set.Has(Button::Abort))
        return Button::Abort;
    return EffectiveDefault(set, Button::None);
}

std::string ButtonList(Buttons set)
{
    std::string r;
    for (Button b : ButtonsInOrder(set.Empty() ? Buttons(Button::OK) : set)) {
        if (!r.empty())
            r += ',';
        r += ButtonName(b);
    }
    return r;
}

class QtService : public Service {
public:
    explicit QtService(bool toStderr) : toStderr_(toStderr) {}

    Button MessageBox(const MessageBoxRequest &rq) override
    {
        Buttons set = rq.buttons.Empty() ? Buttons(Button::OK) : rq.buttons;
        Button def = EffectiveDefault(set, rq.defaultButton);
        if (toStderr_) {
            std::fprintf(stderr, "MIXDECK message box [%s] %s (%s) -> %s\n", rq.caption.c_str(),
                         rq.text.c_str(), ButtonList(set).c_str(), ButtonName(def));
            std::fflush(stderr);
            return def;
        }
        QMessageBox box(ToQt(rq.icon), FromAnsi(rq.caption), FromAnsi(rq.text),
                        QMessageBox::NoButton, rq.owner);
        box.setTextFormat(Qt::PlainText);
        for (Button b : ButtonsInOrder(set))
            box.addButton(ToQt(b));
        box.setDefaultButton(ToQt(def));
        Button esc = EscapeButton(set);
        box.setEscapeButton(box.button(ToQt(esc)));
        box.exec();
        Button pressed = FromQt(box.standardButton(box.clickedButton()));
        return pressed == Button::None ? esc : pressed;
    }

    std::optional<std::string> OpenFile(const FileRequest &rq) override { return FileDialog(rq, true); }
    std::optional<std::string> SaveFile(const FileRequest &rq) override { return FileDialog(rq, false); }

    std::optional<std::string> BrowseFolder(QWidget *owner, const std::string &title,
                                            const std::string &initialDir) override
    {
        if (toStderr_) {
            std::fprintf(stderr, "MIXDECK folder dialog [%s] %s -> cancelled\n", title.c_str(),
                         initialDir.c_str());
            std::fflush(stderr);
            return std::nullopt;
        }
        QFileDialog dlg(owner, FromAnsi(title.empty() ? std::string("Browse for Folder") : title));
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        dlg.setOption(QFileDialog::ShowDirsOnly);
        dlg.setFileMode(QFileDialog::Directory);
        if (!initialDir.empty())
            dlg.setDirectory(Path(initialDir));
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return std::nullopt;
        return PathBytes(dlg.selectedFiles().front());
    }

    bool PrinterSetup(QWidget *owner, QPrinter &printer) override
    {
        if (toStderr_) {
            std::fprintf(stderr, "MIXDECK printer dialog -> cancelled\n");
            std::fflush(stderr);
            return false;
        }
        QPrintDialog dlg(&printer, owner);
        return dlg.exec() == QDialog::Accepted;
    }

    OpenResult ShellOpen(const std::string &target) override
    {
        if (toStderr_) {
            std::fprintf(stderr, "MIXDECK open %s -> not opened\n", ShellUrl(target).c_str());
            std::fflush(stderr);
            return false;
        }
        // The opener is started here, not handed the address and forgotten,
        // so that an opener with nothing behind it is heard.
        const opener::Result r = opener::Run(opener::kDesktopOpener, {ShellUrl(target)});
        return OpenResult(r.Opened, r.Why);
    }

private:
    std::optional<std::string> FileDialog(const FileRequest &rq, bool open)
    {
        if (toStderr_) {
            std::fprintf(stderr, "MIXDECK %s dialog [%s] %s %s -> cancelled\n", open ? "open" : "save",
                         rq.title.c_str(), rq.initialDir.c_str(), rq.fileName.c_str());
            std::fflush(stderr);
            return std::nullopt;
        }
        std::string title = rq.title.empty() ? std::string(open ? "Open" : "Save As") : rq.title;
        QFileDialog dlg(rq.owner, FromAnsi(title));
        dlg.setOption(QFileDialog::DontUseNativeDialog);
        dlg.setOption(QFileDialog::HideNameFilterDetails);
        dlg.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        dlg.setFileMode(open && (rq.options & ofFileMustExist) ? QFileDialog::ExistingFile
                                                                : QFileDialog::AnyFile);
        if (!open && !(rq.options & ofOverwritePrompt))
            dlg.setOption(QFileDialog::DontConfirmOverwrite);
        QStringList filters;
        for (const std::string &f : QtFilterList(rq.filter))
            filters << FromAnsi(f);
        if (!filters.isEmpty()) {
            dlg.setNameFilters(filters);
            int idx = rq.filterIndex >= 1 && rq.filterIndex <= filters.size() ? rq.filterIndex - 1 : 0;
            dlg.selectNameFilter(filters[idx]);
        }
        if (!rq.initialDir.empty())
            dlg.setDirectory(Path(rq.initialDir));
        if (!rq.fileName.empty())
            dlg.selectFile(Path(rq.fileName));
        std::string ext = rq.defaultExt;
        while (!ext.empty() && ext.front() == '.')
            ext.erase(ext.begin());
        if (!ext.empty())
            dlg.setDefaultSuffix(FromAnsi(ext));

        for (;;) {
            if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
                return std::nullopt;
            QString chosen = dlg.selectedFiles().front();
            QFileInfo info(chosen);
            QString problem;
            if ((rq.options & ofPathMustExist) && !info.absoluteDir().exists())
                problem = QStringLiteral("%1\nPath does not exist.\nCheck the path and try again.")
                              .arg(QDir::toNativeSeparators(info.absolutePath()));
            else if (open && (rq.options & ofFileMustExist) && !info.isFile())
                problem = QStringLiteral("%1\nFile not found.\nCheck the file name and try again.")
                              .arg(info.fileName());
            if (problem.isEmpty())
                return PathBytes(chosen);
            QMessageBox::warning(&dlg, FromAnsi(title), problem);
        }
    }

    bool toStderr_;
};

Service *g_installed = nullptr;
std::unique_ptr<Service> g_real;
std::string g_title = "MIXDECK";

} // namespace

Service::~Service() = default;

Service *NewQtService()
{
    const char *mode = std::getenv("MIXDECK_DIALOGS");
    return new QtService(mode && std::strcmp(mode, "stderr") == 0);
}

Service &Current()
{
    if (g_installed)
        return *g_installed;
    if (!g_real)
        g_real.reset(NewQtService());
    return *g_real;
}

Service *SetCurrent(Service *service)
{
    Service *previous = g_installed;
    g_installed = service;
    return previous;
}

const std::string &ApplicationTitle() { return g_title; }
void SetApplicationTitle(const std::string &title) { g_title = title; }

// ---- convenience -----------------------------------------------------------
Button MessageBox(QWidget *owner, const std::string &text, const std::string &caption,
                  Buttons buttons, Icon icon, Button defaultButton)
{
    MessageBoxRequest rq;
    rq.owner = owner;
    rq.caption = caption;
    rq.text = text;
    rq.buttons = buttons;
    rq.icon = icon;
    rq.defaultButton = defaultButton;
    return Current().MessageBox(rq);
}

void ShowMessage(const std::string &text)
{
    MessageBox(nullptr, text, ApplicationTitle(), Button::OK, Icon::None, Button::OK);
}

std::optional<std::string> OpenFile(const FileRequest &request) { return Current().OpenFile(request); }
std::optional<std::string> SaveFile(const FileRequest &request) { return Current().SaveFile(request); }

std::optional<std::string> BrowseFolder(QWidget *owner, const std::string &title,
                                        const std::string &initialDir)
{
    return Current().BrowseFolder(owner, title, initialDir);
}

bool PrinterSetup(QWidget *owner, QPrinter &printer) { return Current().PrinterSetup(owner, printer); }
bool ShellOpen(const std::string &target)
{
    // A local file or folder that is not there is said so before the desktop
    // is asked: its opener would start and fail where nobody sees it.
    const QUrl url = ToUrl(target);
    std::string why;
    if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile())) {
        why = "it does not exist.";
    } else {
        const OpenResult r = Current().ShellOpen(target);
        if (r.Opened)
            return true;
        why = !r.Why.empty() ? r.Why
                             : std::string("no program to open it could be started (the desktop's opener ") +
                                   opener::kDesktopOpener + ", from the package xdg-utils, may be missing).";
    }
    MessageBox(nullptr, ShellOpenFailure(target, why), "Error", Button::OK, Icon::None, Button::OK);
    return false;
}

std::string ShellOpenFailure(const std::string &target, const std::string &why)
{
    // The name as the user knows it: a local path as a path, an address
    // without its password.
    const QUrl url = ToUrl(target);
    const QString name = url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile())
                                           : url.toDisplayString(QUrl::RemovePassword);
    return "Could not open " + ToAnsi(name) + ": " + why;
}

} // namespace Dialogs
