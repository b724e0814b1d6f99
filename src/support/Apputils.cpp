#include "support/Apputils.h"

#include "platform/AppPaths.h"
#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "support/FileUtil.h"
#include "support/Strutils.h"
#include "support/VCLUtils.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTableView>
#include <map>

std::function<std::string()> OnGetDefaultIniName;
std::string DefCompanyName;
bool RegUseAppTitle = false;

namespace {

std::string NameOf(const QObject *o) { return ToAnsi(o->objectName()); }
std::string ClassOf(const QObject *o) { return o->metaObject()->className(); }

std::map<std::string, TFormFactory> &formClasses()
{
    static std::map<std::string, TFormFactory> m;
    return m;
}

std::string ProgramBaseName()
{
    return Rtl::ExtractFileName(AppPaths::ExecutablePath());
}

// The widget's form: its window, when it is not the widget itself.
const QWidget *ParentForm(const QObject *o)
{
    for (const QObject *p = o->parent(); p; p = p->parent())
        if (auto *w = qobject_cast<const QWidget *>(p); w && w->isWindow())
            return w;
    return nullptr;
}

} // namespace

std::string GetDefaultSection(const QObject *component)
{
    if (!component)
        return std::string();
    auto *w = qobject_cast<const QWidget *>(component);
    if (w && w->isWindow())
        return ClassOf(w);
    const QWidget *form = ParentForm(component);
    if (w) {
        if (form)
            return ClassOf(form) + NameOf(w);
        if (component->parent())
            return NameOf(component->parent()) + NameOf(w);
        return NameOf(w);
    }
    if (form)
        return ClassOf(form) + "." + NameOf(component);
    return NameOf(component);
}

std::string GetDefaultIniName()
{
    if (OnGetDefaultIniName)
        return OnGetDefaultIniName();
    return Rtl::ChangeFileExt(ProgramBaseName(), ".INI");
}

std::string GetDefaultIniRegKey()
{
    std::string key = "Software\\";
    if (!DefCompanyName.empty())
        key += DefCompanyName + "\\";
    const std::string title = ToAnsi(QGuiApplication::applicationDisplayName());
    if (RegUseAppTitle && !title.empty())
        key += title;
    else
        key += Rtl::ChangeFileExt(ProgramBaseName(), "");
    return key;
}

void GetDefaultIniData(const QObject *control, std::string &iniFileName, std::string &section,
                       bool useRegistry)
{
    iniFileName.clear();
    section = GetDefaultSection(control);
    if (control) {
        auto *w = qobject_cast<const QWidget *>(control);
        const QObject *form = w && w->isWindow() ? control : ParentForm(control);
        if (form) {
            for (QObject *child : form->findChildren<QObject *>()) {
                if (child->inherits("TFormPlacement")) {
                    iniFileName = ToAnsi(child->property("IniFileName").toString());
                    break;
                }
            }
        }
    }
    if (iniFileName.empty())
        iniFileName = useRegistry ? GetDefaultIniRegKey() : GetDefaultIniName();
}

std::string IniFilePath(const std::string &iniFileName)
{
    if (iniFileName.empty() || iniFileName[0] == '/')
        return iniFileName;
    return AppPaths::ProgramFolder() + "/" + iniFileName;
}

// ---- forms by class ----------------------------------------------------------

void RegisterFormClass(const QMetaObject *formClass, TFormFactory factory)
{
    formClasses()[formClass->className()] = std::move(factory);
}

QWidget *CreateFormOfClass(const QMetaObject *formClass)
{
    auto it = formClasses().find(formClass->className());
    if (it == formClasses().end())
        throw EInvalidOperation(std::string("Class ") + formClass->className() + " not found");
    return it->second();
}

QWidget *FindForm(const QMetaObject *formClass)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->metaObject()->inherits(formClass))
            return w;
    return nullptr;
}

static QWidget *FindOrCreate(const QMetaObject *formClass, const std::string &caption, bool restore)
{
    QWidget *form = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->metaObject()->inherits(formClass)
            && (caption.empty() || ToAnsi(w->windowTitle()) == caption)) {
            form = w;
            break;
        }
    }
    if (!form) {
        form = CreateFormOfClass(formClass);
        if (!caption.empty())
            form->setWindowTitle(FromAnsi(caption));
    }
    if (restore && (form->windowState() & Qt::WindowMinimized))
        form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    form->show();
    return form;
}

QWidget *FindShowForm(const QMetaObject *formClass, const std::string &caption)
{
    return FindOrCreate(formClass, caption, true);
}

bool ShowDialog(const QMetaObject *formClass)
{
    std::unique_ptr<QWidget> form(CreateFormOfClass(formClass));
    auto *dialog = qobject_cast<QDialog *>(form.get());
    if (!dialog)
        return false;
    return dialog->exec() == QDialog::Accepted;
}

QWidget *InstantiateForm(const QMetaObject *formClass, QWidget *&reference)
{
    if (!reference)
        reference = CreateFormOfClass(formClass);
    return reference;
}

// ---- INI values --------------------------------------------------------------

static void CheckLineLength(const std::string &s)
{
    if (s.size() > 4096)
        throw Exception("Line too long");
}

std::string StrToIniStr(const std::string &str)
{
    CheckLineLength(str);
    std::string r;
    for (size_t i = 0; i < str.size(); ++i) {
        const char c = str[i];
        if (c == '\r' || c == '\n') {
            r += "\\n";
            // A pair of different break characters is one break.
            if (i + 1 < str.size() && (str[i + 1] == '\r' || str[i + 1] == '\n') && str[i + 1] != c)
                ++i;
        } else {
            r += c;
        }
    }
    return r;
}

std::string IniStrToStr(const std::string &str)
{
    CheckLineLength(str);
    return ReplaceStr(str, "\\n", "\r\n");
}

namespace {
bool Enclosed(const std::string &v)
{
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}
} // namespace

std::string IniReadString(TCustomIniFile *iniFile, const std::string &section,
                          const std::string &ident, const std::string &defaultString)
{
    if (!iniFile)
        return defaultString;
    // A missing key gives the default untouched; a stored value loses one
    // pair of enclosing quotes.
    if (!iniFile->ValueExists(section, ident))
        return defaultString;
    std::string v = iniFile->ReadString(section, ident, defaultString);
    if (Enclosed(v))
        v = v.substr(1, v.size() - 2);
    return v;
}

void IniWriteString(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                    const std::string &value)
{
    if (!iniFile)
        return;
    iniFile->WriteString(section, ident, Enclosed(value) ? "\"" + value + "\"" : value);
}

int IniReadInteger(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                   int defaultInteger)
{
    return iniFile ? iniFile->ReadInteger(section, ident, defaultInteger) : defaultInteger;
}

void IniWriteInteger(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                     int value)
{
    if (iniFile)
        iniFile->WriteInteger(section, ident, value);
}

bool IniReadBool(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                 bool defaultValue)
{
    return iniFile ? iniFile->ReadBool(section, ident, defaultValue) : defaultValue;
}

void IniWriteBool(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                  bool value)
{
    if (iniFile)
        iniFile->WriteBool(section, ident, value);
}

void IniEraseSection(TCustomIniFile *iniFile, const std::string &section)
{
    if (iniFile)
        iniFile->EraseSection(section);
}

void IniDeleteKey(TCustomIniFile *iniFile, const std::string &section, const std::string &ident)
{
    if (iniFile)
        iniFile->DeleteKey(section, ident);
}

void IniReadSections(TCustomIniFile *iniFile, TStringList &strings)
{
    if (iniFile)
        iniFile->ReadSections(strings);
}

// ---- MDI children and grids ------------------------------------------------------

namespace {
const char *const MDIChildrenSection = "MDI Children";

QMdiArea *MdiAreaOf(QMainWindow *mainForm)
{
    auto *area = mainForm ? qobject_cast<QMdiArea *>(mainForm->centralWidget()) : nullptr;
    if (!area)
        throw EInvalidOperation("Cannot create form. No MDI forms are currently active");
    return area;
}
} // namespace

void SaveMDIChildren(QMainWindow *mainForm, TCustomIniFile *iniFile)
{
    QMdiArea *area = MdiAreaOf(mainForm);
    IniEraseSection(iniFile, MDIChildrenSection);
    const auto children = area->subWindowList();
    if (children.isEmpty())
        return;
    IniWriteInteger(iniFile, MDIChildrenSection, "Count", int(children.size()));
    for (qsizetype i = 0; i < children.size(); ++i) {
        QWidget *child = children[i]->widget() ? children[i]->widget() : children[i];
        IniWriteString(iniFile, MDIChildrenSection, "Item" + std::to_string(i), ClassOf(child));
    }
}

void RestoreMDIChildren(QMainWindow *mainForm, TCustomIniFile *iniFile)
{
    QMdiArea *area = MdiAreaOf(mainForm);
    StartWait();
    struct Stop {
        ~Stop() { StopWait(); }
    } stop;
    const int count = IniReadInteger(iniFile, MDIChildrenSection, "Count", 0);
    for (int i = count - 1; i >= 0; --i) {
        const std::string cls = IniReadString(iniFile, MDIChildrenSection, "Item" + std::to_string(i), "");
        auto it = formClasses().find(cls);
        if (it == formClasses().end())
            continue;
        bool found = false;
        for (QMdiSubWindow *sub : area->subWindowList())
            if (sub->widget() && ClassOf(sub->widget()) == cls)
                found = true;
        if (found)
            continue;
        QWidget *form = it->second();
        area->addSubWindow(form)->show();
    }
}

void SaveMDIChildrenReg(QMainWindow *mainForm, TCustomIniFile *iniFile) { SaveMDIChildren(mainForm, iniFile); }
void RestoreMDIChildrenReg(QMainWindow *mainForm, TCustomIniFile *iniFile) { RestoreMDIChildren(mainForm, iniFile); }

void SaveGridLayout(QTableView *grid, TCustomIniFile *iniFile)
{
    if (!grid)
        return;
    const std::string section = GetDefaultSection(grid);
    QHeaderView *h = grid->horizontalHeader();
    for (int i = 0; i < h->count(); ++i)
        IniWriteInteger(iniFile, section, "Item" + std::to_string(i), h->sectionSize(i));
}

void RestoreGridLayout(QTableView *grid, TCustomIniFile *iniFile)
{
    if (!grid)
        return;
    const std::string section = GetDefaultSection(grid);
    QHeaderView *h = grid->horizontalHeader();
    for (int i = 0; i < h->count(); ++i)
        h->resizeSection(i, IniReadInteger(iniFile, section, "Item" + std::to_string(i), h->sectionSize(i)));
}

void SaveGridLayoutReg(QTableView *grid, TCustomIniFile *iniFile) { SaveGridLayout(grid, iniFile); }
void RestoreGridLayoutReg(QTableView *grid, TCustomIniFile *iniFile) { RestoreGridLayout(grid, iniFile); }

// ---- form placement ----------------------------------------------------------------

namespace {


QSize ScreenSize()
{
    if (QScreen *s = QGuiApplication::primaryScreen())
        return s->size();
    return QSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

int ScreenPixelsPerInch()
{
    if (QScreen *s = QGuiApplication::primaryScreen())
        return int(s->logicalDotsPerInch() + 0.5);
    return 96;
}

std::string ResolutionKey(const std::string &key)
{
    const QSize s = ScreenSize();
    return key + "(" + std::to_string(s.width()) + "x" + std::to_string(s.height()) + ")";
}

// Up to four numbers separated by commas; missing or bad ones take the
// given defaults.
void ReadNumbers(const std::string &text, int out[4], const int defaults[4])
{
    for (int i = 0; i < 4; ++i) {
        const std::string word = Rtl::Trim(ExtractWord(i + 1, text, CharSet(",")));
        out[i] = word.empty() ? defaults[i] : Rtl::StrToIntDef(word, defaults[i]);
    }
}

bool Sizeable(const QWidget *form)
{
    if (form->windowFlags() & Qt::MSWindowsFixedSizeDialogHint)
        return false;
    return form->minimumSize() != form->maximumSize();
}

} // namespace

void WriteFormPlacement(QWidget *form, TCustomIniFile *iniFile, const std::string &section)
{
    if (!form || !iniFile)
        return;
    int showCmd = SW_SHOWNORMAL;
    if (!form->isVisible())
        showCmd = SW_HIDE;
    if (form->windowState() & Qt::WindowMinimized)
        showCmd = SW_SHOWMINIMIZED;
    else if (form->windowState() & Qt::WindowMaximized)
        showCmd = SW_SHOWMAXIMIZED;
    const QRect normal = form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)
                             && form->normalGeometry().isValid()
                             ? form->normalGeometry()
                             : form->geometry();
    const std::string minMax = "-1,-1,-1,-1";
    const std::string norm = Rtl::Format("%d,%d,%d,%d", {normal.left(), normal.top(),
                                                         normal.left() + normal.width(),
                                                         normal.top() + normal.height()});
    iniFile->WriteInteger(section, "Flags", 0);
    iniFile->WriteInteger(section, "ShowCmd", showCmd);
    iniFile->WriteInteger(section, "PixelsPerInch", ScreenPixelsPerInch());
    iniFile->WriteString(section, ResolutionKey("MinMaxPos"), minMax);
    iniFile->WriteString(section, ResolutionKey("NormPos"), norm);
    iniFile->WriteString(section, "MinMaxPos", minMax);
    iniFile->WriteString(section, "NormPos", norm);
}

void WriteFormPlacementReg(QWidget *form, TCustomIniFile *iniFile, const std::string &section)
{
    WriteFormPlacement(form, iniFile, section);
}

void ReadFormPlacement(QWidget *form, TCustomIniFile *iniFile, const std::string &section,
                       bool loadState, bool loadPosition)
{
    if (!form || !iniFile || !(loadState || loadPosition))
        return;
    if (loadPosition) {
        iniFile->ReadInteger(section, "Flags", 0);
        auto read = [&](const std::string &key, bool &present) {
            for (const std::string &k : {ResolutionKey(key), key}) {
                if (iniFile->ValueExists(section, k)) {
                    present = true;
                    return iniFile->ReadString(section, k, "");
                }
            }
            return std::string();
        };
        bool present = false;
        const std::string minMaxText = read("MinMaxPos", present);
        const std::string normText = read("NormPos", present);
        const QRect cur = form->geometry();
        const int zero[4] = {0, 0, 0, 0};
        const int curRect[4] = {cur.left(), cur.top(), cur.left() + cur.width(), cur.top() + cur.height()};
        int minMax[4], norm[4];
        ReadNumbers(minMaxText, minMax, zero);
        ReadNumbers(normText, norm, curRect);
        const bool found = present && iniFile->ReadInteger(section, "PixelsPerInch", 0) == ScreenPixelsPerInch();
        if (found) {
            QRect r(QPoint(norm[0], norm[1]), QSize(norm[2] - norm[0], norm[3] - norm[1]));
            if (!Sizeable(form))
                r.setSize(cur.size());
            if (!r.isEmpty()) {
                if (form->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized))
                    form->setWindowState(Qt::WindowNoState);
                form->setGeometry(r);
            }
        }
    }
    if (loadState) {
        Qt::WindowStates state = Qt::WindowNoState;
        switch (iniFile->ReadInteger(section, "ShowCmd", -1)) {
        case 1: case 5: case 9: state = Qt::WindowNoState; break;
        case 2: case 6: case 7: state = Qt::WindowMinimized; break;
        case 3: state = Qt::WindowMaximized; break;
        default: break;
        }
        form->setWindowState(state);
    }
    form->update();
}

void ReadFormPlacementReg(QWidget *form, TCustomIniFile *iniFile, const std::string &section,
                          bool loadState, bool loadPosition)
{
    ReadFormPlacement(form, iniFile, section, loadState, loadPosition);
}

void SaveFormPlacement(QWidget *form, const std::string &iniFileName, bool)
{
    TIniFile ini(IniFilePath(iniFileName));
    WriteFormPlacement(form, &ini, ClassOf(form));
}

void RestoreFormPlacement(QWidget *form, const std::string &iniFileName, bool)
{
    TIniFile ini(IniFilePath(iniFileName));
    ReadFormPlacement(form, &ini, ClassOf(form), true, true);
}

// ---- files and the application ----------------------------------------------------

std::string GetUniqueFileNameInDir(const std::string &path, const std::string &fileNameMask)
{
    const std::string dir = NormalDir(path);
    if (fileNameMask.find("%d") == std::string::npos) {
        const std::string name = fileNameMask;
        return FileGetAttr(dir + name) < 0 ? name : std::string();
    }
    for (std::int64_t i = 0; i <= INT32_MAX; ++i) {
        const std::string name = ReplaceStr(fileNameMask, "%d", std::to_string(i));
        if (FileGetAttr(dir + name) < 0)
            return name;
    }
    return std::string();
}

long long AppBroadcast(int msg, long long wParam, long long lParam)
{
    long long result = 0;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        TBroadcastEvent e(msg, wParam, lParam);
        QCoreApplication::sendEvent(w, &e);
        result = e.Result;
    }
    return result;
}
