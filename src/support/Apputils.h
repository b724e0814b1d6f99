#pragma once
// Application utilities: default names for settings files and sections,
// reading and writing settings through an INI object with one call, saving
// and restoring the placement of a form, the open MDI child windows and the
// column widths of a grid, finding, creating and showing forms by class, and
// a few application-wide functions.
//
// Settings live in INI files only (there is no registry here): the "...Reg"
// variants take the same INI objects as the others.
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"

#include <QEvent>
#include <QWidget>
#include <functional>
#include <string>

class QMainWindow;
class QTableView;

MIXDECK_EXCEPTION(EInvalidOperation, Exception);

// Unit variables.
extern std::function<std::string()> OnGetDefaultIniName;
extern std::string DefCompanyName;
extern bool RegUseAppTitle;

// The section a component's settings go to (see the implementation).
std::string GetDefaultSection(const QObject *component);
// OnGetDefaultIniName's answer, or the program file's name with ".INI".
std::string GetDefaultIniName();
// "Software\[company\]<title or program name>".
std::string GetDefaultIniRegKey();
// The settings name of the first form placement on the control's form (or
// the default name) and the control's default section.
void GetDefaultIniData(const QObject *control, std::string &iniFileName, std::string &section,
                       bool useRegistry = false);
// A relative settings name is a file in the program's folder.
std::string IniFilePath(const std::string &iniFileName);

// ---- forms by class ----------------------------------------------------------
using TFormFactory = std::function<QWidget *()>;
// Forms are made by class name through the factories registered here.
void RegisterFormClass(const QMetaObject *formClass, TFormFactory factory);
QWidget *CreateFormOfClass(const QMetaObject *formClass);
// The first top-level widget of the class (or derived), or none.
QWidget *FindForm(const QMetaObject *formClass);
QWidget *FindShowForm(const QMetaObject *formClass, const std::string &caption);
// Makes the form, shows it modally, frees it; true for accepted.
bool ShowDialog(const QMetaObject *formClass);
QWidget *InstantiateForm(const QMetaObject *formClass, QWidget *&reference);

// ---- INI values --------------------------------------------------------------
// Line breaks (CR LF, LF CR, CR, LF) as the two characters "\n" and back
// (to CR LF). Texts over 4096 characters raise Exception "Line too long".
std::string StrToIniStr(const std::string &str);
std::string IniStrToStr(const std::string &str);
// Read and write through an INI object; nullptr reads the default and
// writes nothing. A value that begins and ends with the same quote (" or ')
// is written inside an extra pair of double quotes, and one pair of
// enclosing quotes is dropped on reading, as the profile functions do.
std::string IniReadString(TCustomIniFile *iniFile, const std::string &section,
                          const std::string &ident, const std::string &defaultString);
void IniWriteString(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                    const std::string &value);
int IniReadInteger(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                   int defaultInteger);
void IniWriteInteger(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                     int value);
bool IniReadBool(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                 bool defaultValue);
void IniWriteBool(TCustomIniFile *iniFile, const std::string &section, const std::string &ident,
                  bool value);
void IniEraseSection(TCustomIniFile *iniFile, const std::string &section);
void IniDeleteKey(TCustomIniFile *iniFile, const std::string &section, const std::string &ident);
void IniReadSections(TCustomIniFile *iniFile, TStringList &strings);

// ---- MDI children and grids ------------------------------------------------------
// The main form must be a QMainWindow with a QMdiArea as its central widget,
// else EInvalidOperation "Cannot create form. No MDI forms are currently
// active". Children are stored by class name and made again through the
// registered form factories.
void SaveMDIChildren(QMainWindow *mainForm, TCustomIniFile *iniFile);
void RestoreMDIChildren(QMainWindow *mainForm, TCustomIniFile *iniFile);
void SaveMDIChildrenReg(QMainWindow *mainForm, TCustomIniFile *iniFile);
void RestoreMDIChildrenReg(QMainWindow *mainForm, TCustomIniFile *iniFile);
void SaveGridLayout(QTableView *grid, TCustomIniFile *iniFile);
void RestoreGridLayout(QTableView *grid, TCustomIniFile *iniFile);
void SaveGridLayoutReg(QTableView *grid, TCustomIniFile *iniFile);
void RestoreGridLayoutReg(QTableView *grid, TCustomIniFile *iniFile);

// ---- form placement ----------------------------------------------------------------
// The placement record: "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos" and
// "NormPos" (the last two also under the key followed by "(<w>x<h>)" of the
// screen). NormPos is the form's normal geometry (without the frame).
void WriteFormPlacement(QWidget *form, TCustomIniFile *iniFile, const std::string &section);
void WriteFormPlacementReg(QWidget *form, TCustomIniFile *iniFile, const std::string &section);
void ReadFormPlacement(QWidget *form, TCustomIniFile *iniFile, const std::string &section,
                       bool loadState, bool loadPosition);
void ReadFormPlacementReg(QWidget *form, TCustomIniFile *iniFile, const std::string &section,
                          bool loadState, bool loadPosition);
// Under the form's class name in the named settings file.
void SaveFormPlacement(QWidget *form, const std::string &iniFileName, bool useRegistry = false);
void RestoreFormPlacement(QWidget *form, const std::string &iniFileName, bool useRegistry = false);

// ---- files and the application ----------------------------------------------------
// The first name made from the pattern by putting 0, 1, 2, ... for "%d" that
// does not exist in the folder. Only "%d" is replaced; a pattern without it
// is checked once (itself, or empty when it exists).
std::string GetUniqueFileNameInDir(const std::string &path, const std::string &fileNameMask);

// An application-wide message: a QEvent of the given type with two
// parameters and a result field.
class TBroadcastEvent : public QEvent {
public:
    TBroadcastEvent(int msg, long long wParam, long long lParam)
        : QEvent(QEvent::Type(msg)), WParam(wParam), LParam(lParam) {}
    long long WParam, LParam;
    long long Result = 0;
};
// Sends the message to every top-level widget in order; the last result (0
// without any).
long long AppBroadcast(int msg, long long wParam, long long lParam);
