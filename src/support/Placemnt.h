#pragma once
// Form placement and stored values: components that remember a window's
// size, position, state and chosen properties between runs in an INI file.
//
// A TFormPlacement is made with its form as owner (its QObject parent). It
// watches the form through a window hook: when the form is shown it restores
// the placement (when Active), when a close is accepted or the form goes away
// it saves it (when it restored before, or is not Active). TFormStorage adds
// named properties of the form's components and free named values.
//
// There is no registry here: UseRegistry and RegistryRoot are kept for
// callers but the settings always go to an INI file. A relative file name is
// a file in the program's folder.
#include "platform/IniFiles.h"
#include "support/WinHook.h"

#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFormPlacement;
class TFormStorage;

enum TPlacementOption : unsigned { fpState = 1, fpPosition = 2, fpActiveControl = 4 };
using TPlacementOptions = unsigned;
enum TPlacementOperation { poSave, poRestore };
enum TPlacementRegRoot { prCurrentUser, prLocalMachine, prCurrentConfig, prClassesRoot, prUsers, prDynData };

// Size limits of a form; 0 means the system's default.
class TWinMinMaxInfo {
public:
    explicit TWinMinMaxInfo(TFormPlacement *owner = nullptr) : owner_(owner) {}
    int MaxPosLeft() const { return v_[0]; }
    int MaxPosTop() const { return v_[1]; }
    int MaxSizeHeight() const { return v_[2]; }
    int MaxSizeWidth() const { return v_[3]; }
    int MaxTrackHeight() const { return v_[4]; }
    int MaxTrackWidth() const { return v_[5]; }
    int MinTrackHeight() const { return v_[6]; }
    int MinTrackWidth() const { return v_[7]; }
    void SetMaxPosLeft(int v) { Set(0, v); }
    void SetMaxPosTop(int v) { Set(1, v); }
    void SetMaxSizeHeight(int v) { Set(2, v); }
    void SetMaxSizeWidth(int v) { Set(3, v); }
    void SetMaxTrackHeight(int v) { Set(4, v); }
    void SetMaxTrackWidth(int v) { Set(5, v); }
    void SetMinTrackHeight(int v) { Set(6, v); }
    void SetMinTrackWidth(int v) { Set(7, v); }
    void Assign(const TWinMinMaxInfo &other);
    bool DefaultMinMaxInfo() const;

private:
    void Set(int i, int v);
    TFormPlacement *owner_;
    int v_[8] = {};
};

// A hook through which other components save and load with a placement's
// storage.
class TIniLink {
public:
    TIniLink() = default;
    virtual ~TIniLink();
    TFormPlacement *Storage() const { return storage_; }
    void SetStorage(TFormPlacement *storage);
    // The storage's open INI object (none without storage).
    TCustomIniFile *IniObject() const;
    // The storage's section followed by "\" (empty without one).
    std::string RootSection() const;
    std::function<void(TIniLink *)> OnSave;
    std::function<void(TIniLink *)> OnLoad;
    virtual void SaveToIni();
    virtual void LoadFromIni();

private:
    friend class TFormPlacement;
    TFormPlacement *storage_ = nullptr;
};

class TFormPlacement : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString IniFileName READ IniFileNameQ)
public:
    explicit TFormPlacement(QObject *owner);
    ~TFormPlacement() override;

    bool Active() const { return active_; }
    void SetActive(bool v) { active_ = v; }
    // Empty: the application's default INI file.
    std::string IniFileName() const;
    void SetIniFileName(const std::string &name) { iniFileName_ = name; }
    // Empty: the owner's default section.
    std::string IniSection() const;
    void SetIniSection(const std::string &section) { iniSection_ = section; }
    TWinMinMaxInfo &MinMaxInfo() { return minMaxInfo_; }
    void SetMinMaxInfo(const TWinMinMaxInfo &info) { minMaxInfo_.Assign(info); }
    TPlacementOptions Options = 0;
    bool PreventResize() const { return preventResize_; }
    void SetPreventResize(bool on);
    TPlacementRegRoot RegistryRoot = prCurrentUser;
    bool UseRegistry = false;
    std::int32_t Version = 0;
    std::function<void(QObject *)> OnSavePlacement;
    std::function<void(QObject *)> OnRestorePlacement;

    void SaveFormPlacement();
    void RestoreFormPlacement();
    std::string ReadString(const std::string &ident, const std::string &def);
    void WriteString(const std::string &ident, const std::string &value);
    int ReadInteger(const std::string &ident, int def);
    void WriteInteger(const std::string &ident, int value);
    // Erases the placement's section and those matching it followed by
    // ".*" or "\*" (case-sensitive), when no INI object is open.
    void EraseSections();
    // The open INI object, or none.
    TCustomIniFile *IniFileObject() const { return ini_.get(); }
    bool IsSaved() const { return saved_; }
    bool IsRestored() const { return restored_; }
    QWidget *Form() const;

    // Called when a size limit changed.
    void MinMaxInfoModified();

protected:
    virtual void SavePlacement();
    virtual void RestorePlacement();
    virtual void Save();
    virtual void Restore();
    // Saves once when the placement goes away with its form (each class's
    // destructor calls it, so the derived parts still take part).
    void SaveOnDestroy();
    bool restored_ = false;
    bool destroying_ = false;

private:
    friend class TIniLink;
    friend class TFormStorage;
    QString IniFileNameQ() const;
    void IniNeeded();
    void IniFree();
    void FormEvent(TMessage &msg, bool before);
    void ApplyLimits();

    bool active_ = true;
    std::string iniFileName_, iniSection_;
    TWinMinMaxInfo minMaxInfo_{this};
    bool preventResize_ = false;
    bool saved_ = false;
    int openCount_ = 0;
    std::unique_ptr<TCustomIniFile> ini_;
    std::vector<TIniLink *> links_;
    std::unique_ptr<TWindowHook> hook_;
    bool hadMaximize_ = true;
    QSize savedMin_, savedMax_;
};

class TStoredValues;

// A named value of a form storage.
class TStoredValue {
public:
    explicit TStoredValue(TStoredValues *owner) : owner_(owner) {}
    const std::string &Name() const { return name_; }
    // Names are unique in their list, case ignored: a name in use raises
    // EListError "String list does not allow duplicates".
    void SetName(const std::string &name);
    QVariant Value;
    // When set, the value is stored hex-encoded under this key.
    std::string KeyString;
    std::function<void(TStoredValue *, QVariant &)> OnSave;
    std::function<void(TStoredValue *, QVariant &)> OnRestore;
    void Save();
    void Restore();

private:
    TStoredValues *owner_;
    std::string name_;
};

class TStoredValues {
public:
    explicit TStoredValues(TFormStorage *storage) : storage_(storage) {}
    TFormStorage *Storage() const { return storage_; }
    int Count() const { return int(items_.size()); }
    TStoredValue &Items(int i) { return *items_.at(size_t(i)); }
    // A new value of that name (EListError when the name is in use).
    TStoredValue &Add(const std::string &name);
    int IndexOf(const std::string &name) const;
    // By name; setting an unknown name does nothing, reading one gives an
    // empty variant.
    QVariant GetValue(const std::string &name) const;
    void SetValue(const std::string &name, const QVariant &value);
    void SaveValues();
    void RestoreValues();

private:
    TFormStorage *storage_;
    std::vector<std::unique_ptr<TStoredValue>> items_;
};

class TFormStorage : public TFormPlacement {
    Q_OBJECT
public:
    explicit TFormStorage(QObject *owner);
    ~TFormStorage() override;
    // "Component.Property" items of the form's components.
    TStringList StoredProps;
    TStoredValues &StoredValues() { return values_; }
    virtual void SaveProperties();
    virtual void RestoreProperties();

protected:
    void SavePlacement() override;
    void RestorePlacement() override;

private:
    void StoredPropsIo(bool store);
    TStoredValues values_{this};
};
