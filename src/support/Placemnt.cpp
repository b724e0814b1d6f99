#include "support/Placemnt.h"

#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"
#include "support/Apputils.h"
#include "support/PropStore.h"
#include "support/Strutils.h"

#include <QCloseEvent>
#include <QtCore/private/qobject_p.h>
#include <QEvent>
#include <algorithm>

// ---- TWinMinMaxInfo ------------------------------------------------------------------

void TWinMinMaxInfo::Set(int i, int v)
{
    if (v_[i] == v)
        return;
    v_[i] = v;
    if (owner_)
        owner_->MinMaxInfoModified();
}

void TWinMinMaxInfo::Assign(const TWinMinMaxInfo &other)
{
    std::copy(std::begin(other.v_), std::end(other.v_), std::begin(v_));
    if (owner_)
        owner_->MinMaxInfoModified();
}

bool TWinMinMaxInfo::DefaultMinMaxInfo() const
{
    return std::all_of(std::begin(v_), std::end(v_), [](int v) { return v == 0; });
}

// ---- TIniLink ------------------------------------------------------------------------

TIniLink::~TIniLink() { SetStorage(nullptr); }

void TIniLink::SetStorage(TFormPlacement *storage)
{
    if (storage_ == storage)
        return;
    if (storage_) {
        auto &l = storage_->links_;
        l.erase(std::remove(l.begin(), l.end(), this), l.end());
    }
    storage_ = storage;
    if (storage_)
        storage_->links_.push_back(this);
}

TCustomIniFile *TIniLink::IniObject() const { return storage_ ? storage_->IniFileObject() : nullptr; }

std::string TIniLink::RootSection() const
{
    if (!storage_)
        return std::string();
    const std::string s = storage_->IniSection();
    return s.empty() ? std::string() : s + "\\";
}

void TIniLink::SaveToIni()
{
    if (OnSave)
        OnSave(this);
}

void TIniLink::LoadFromIni()
{
    if (OnLoad)
        OnLoad(this);
}

// ---- TFormPlacement ------------------------------------------------------------------

TFormPlacement::TFormPlacement(QObject *owner) : QObject(owner)
{
    auto *form = qobject_cast<QWidget *>(owner);
    if (form && form->isWindow()) {
        Options = fpState | fpPosition;
        hook_ = std::make_unique<TWindowHook>();
        hook_->BeforeMessage = [this](TWindowHook *, TMessage &m, bool &) { FormEvent(m, true); };
        hook_->AfterMessage = [this](TWindowHook *, TMessage &m, bool &) { FormEvent(m, false); };
        hook_->SetWinControl(form);
    }
}

void TFormPlacement::SaveOnDestroy()
{
    // The placement goes away without its form: one that restored and has
    // not saved since saves now. While the form deletes its children the
    // components are half gone; the form's hide before that has saved.
    QWidget *form = Form();
    if (form && QObjectPrivate::get(form)->isDeletingChildren)
        return;
    if (active_ && !saved_ && restored_ && form) {
        destroying_ = true;
        try {
            SaveFormPlacement();
        } catch (...) {
            // Never from a destructor.
        }
    }
}

TFormPlacement::~TFormPlacement()
{
    SaveOnDestroy();
    while (!links_.empty())
        links_.back()->SetStorage(nullptr);
    hook_.reset();
}

QWidget *TFormPlacement::Form() const
{
    auto *w = qobject_cast<QWidget *>(parent());
    return w && w->isWindow() ? w : nullptr;
}

std::string TFormPlacement::IniFileName() const
{
    return iniFileName_.empty() ? GetDefaultIniName() : iniFileName_;
}

QString TFormPlacement::IniFileNameQ() const { return FromAnsi(iniFileName_); }

std::string TFormPlacement::IniSection() const
{
    return iniSection_.empty() ? GetDefaultSection(parent()) : iniSection_;
}

void TFormPlacement::FormEvent(TMessage &msg, bool before)
{
    switch (msg.Msg) {
    case QEvent::Show:
        if (before) {
            if (active_)
                RestoreFormPlacement();
            ApplyLimits();
        }
        break;
    case QEvent::Close:
        // After the form's own handling: a close it accepted saves.
        if (!before && msg.Event->isAccepted() && active_)
            SaveFormPlacement();
        break;
    case QEvent::Hide:
        // Hidden without a close, also when the form is being destroyed
        // (its components are still whole then): save what was restored.
        if (!before && !msg.Event->spontaneous() && active_ && restored_ && !saved_)
            SaveFormPlacement();
        break;
    default:
        break;
    }
}

void TFormPlacement::IniNeeded()
{
    if (openCount_++ == 0)
        ini_ = std::make_unique<TIniFile>(IniFilePath(IniFileName()));
}

void TFormPlacement::IniFree()
{
    if (openCount_ > 0 && --openCount_ == 0)
        ini_.reset();
}

namespace {
// Opens the placement's INI object for a scope.
struct IniScope {
    TFormPlacement *p;
    void (TFormPlacement::*free)();
    ~IniScope() { (p->*free)(); }
};
} // namespace

void TFormPlacement::SaveFormPlacement()
{
    if (!restored_ && active_)
        return;
    IniNeeded();
    IniScope scope{this, &TFormPlacement::IniFree};
    ini_->WriteInteger(IniSection(), "FormVersion", Version);
    SavePlacement();
    Save();
    saved_ = true;
}

void TFormPlacement::RestoreFormPlacement()
{
    saved_ = false;
    {
        IniNeeded();
        IniScope scope{this, &TFormPlacement::IniFree};
        if (ini_->ReadInteger(IniSection(), "FormVersion", 0) >= Version) {
            RestorePlacement();
            Restore();
            if ((Options & fpActiveControl) && Form()) {
                const std::string name = ini_->ReadString(IniSection(), "ActiveControl", "");
                if (!name.empty()) {
                    auto *w = Form()->findChild<QWidget *>(FromAnsi(name));
                    if (w && w->focusPolicy() != Qt::NoFocus && w->isEnabled())
                        w->setFocus();
                }
            }
        }
        restored_ = true;
    }
    ApplyLimits();
}

void TFormPlacement::SavePlacement()
{
    if (QWidget *form = Form()) {
        WriteFormPlacement(form, ini_.get(), IniSection());
        if (Options & fpActiveControl) {
            QWidget *focus = form->focusWidget();
            if (focus && !focus->objectName().isEmpty())
                ini_->WriteString(IniSection(), "ActiveControl", ToAnsi(focus->objectName()));
        }
        ini_->WriteBool(IniSection(), "Visible", destroying_);
    }
    for (TIniLink *l : std::vector<TIniLink *>(links_))
        l->SaveToIni();
}

void TFormPlacement::RestorePlacement()
{
    if (QWidget *form = Form())
        ReadFormPlacement(form, ini_.get(), IniSection(), Options & fpState, Options & fpPosition);
    for (TIniLink *l : std::vector<TIniLink *>(links_))
        l->LoadFromIni();
}

void TFormPlacement::Save()
{
    if (OnSavePlacement)
        OnSavePlacement(this);
}

void TFormPlacement::Restore()
{
    if (OnRestorePlacement)
        OnRestorePlacement(this);
}

std::string TFormPlacement::ReadString(const std::string &ident, const std::string &def)
{
    IniNeeded();
    IniScope scope{this, &TFormPlacement::IniFree};
    return ini_->ReadString(IniSection(), ident, def);
}

void TFormPlacement::WriteString(const std::string &ident, const std::string &value)
{
    IniNeeded();
    IniScope scope{this, &TFormPlacement::IniFree};
    ini_->WriteString(IniSection(), ident, value);
}

int TFormPlacement::ReadInteger(const std::string &ident, int def)
{
    IniNeeded();
    IniScope scope{this, &TFormPlacement::IniFree};
    return ini_->ReadInteger(IniSection(), ident, def);
}

void TFormPlacement::WriteInteger(const std::string &ident, int value)
{
    IniNeeded();
    IniScope scope{this, &TFormPlacement::IniFree};
    ini_->WriteInteger(IniSection(), ident, value);
}

void TFormPlacement::EraseSections()
{
    if (ini_)
        return;
    IniNeeded();
    IniScope scope{this, &TFormPlacement::IniFree};
    TStringList sections;
    ini_->ReadSections(sections);
    const std::string own = IniSection();
    for (int i = 0; i < sections.Count(); ++i) {
        const std::string &s = sections[i];
        if (s == own || IsWild(s, own + ".*", false) || IsWild(s, own + "\\*", false))
            ini_->EraseSection(s);
    }
}

void TFormPlacement::SetPreventResize(bool on)
{
    if (preventResize_ == on)
        return;
    QWidget *form = Form();
    if (form && on) {
        hadMaximize_ = (form->windowFlags() & Qt::WindowMaximizeButtonHint) != 0;
        savedMin_ = form->minimumSize();
        savedMax_ = form->maximumSize();
    }
    preventResize_ = on;
    if (form && !on) {
        form->setMinimumSize(savedMin_);
        form->setMaximumSize(savedMax_);
        if (hadMaximize_)
            form->setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    }
    ApplyLimits();
}

void TFormPlacement::MinMaxInfoModified()
{
    ApplyLimits();
}

void TFormPlacement::ApplyLimits()
{
    QWidget *form = Form();
    if (!form)
        return;
    if (preventResize_) {
        // The current size becomes both the least and the largest; no
        // maximise button.
        form->setFixedSize(form->size());
        if (form->windowFlags() & Qt::WindowMaximizeButtonHint)
            form->setWindowFlag(Qt::WindowMaximizeButtonHint, false);
        return;
    }
    const TWinMinMaxInfo &m = minMaxInfo_;
    if (m.DefaultMinMaxInfo())
        return;
    if (m.MinTrackWidth() || m.MinTrackHeight())
        form->setMinimumSize(m.MinTrackWidth() ? m.MinTrackWidth() : form->minimumWidth(),
                             m.MinTrackHeight() ? m.MinTrackHeight() : form->minimumHeight());
    if (m.MaxTrackWidth() || m.MaxTrackHeight())
        form->setMaximumSize(m.MaxTrackWidth() ? m.MaxTrackWidth() : form->maximumWidth(),
                             m.MaxTrackHeight() ? m.MaxTrackHeight() : form->maximumHeight());
}

// ---- stored values -----------------------------------------------------------------------

void TStoredValue::SetName(const std::string &name)
{
    if (Rtl::AnsiCompareText(name, name_) == 0 && !name_.empty()) {
        name_ = name;
        return;
    }
    if (owner_ && owner_->IndexOf(name) >= 0)
        throw EListError("String list does not allow duplicates");
    name_ = name;
}

void TStoredValue::Save()
{
    TFormStorage *st = owner_ ? owner_->Storage() : nullptr;
    if (!st || name_.empty())
        return;
    QVariant v = Value;
    if (OnSave)
        OnSave(this, v);
    std::string text = ToAnsi(v.toString());
    if (!KeyString.empty())
        text = XorEncode(KeyString, text);
    st->WriteString(name_, text);
}

void TStoredValue::Restore()
{
    TFormStorage *st = owner_ ? owner_->Storage() : nullptr;
    if (!st || name_.empty())
        return;
    std::string def = ToAnsi(Value.toString());
    if (!KeyString.empty())
        def = XorEncode(KeyString, def);
    std::string text = st->ReadString(name_, def);
    if (!KeyString.empty())
        text = XorDecode(KeyString, text);
    QVariant v(FromAnsi(text));
    if (OnRestore)
        OnRestore(this, v);
    Value = v;
}

TStoredValue &TStoredValues::Add(const std::string &name)
{
    auto item = std::make_unique<TStoredValue>(this);
    item->SetName(name);
    items_.push_back(std::move(item));
    return *items_.back();
}

int TStoredValues::IndexOf(const std::string &name) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (Rtl::AnsiCompareText(items_[i]->Name(), name) == 0)
            return int(i);
    return -1;
}

QVariant TStoredValues::GetValue(const std::string &name) const
{
    const int i = IndexOf(name);
    return i < 0 ? QVariant() : items_[size_t(i)]->Value;
}

void TStoredValues::SetValue(const std::string &name, const QVariant &value)
{
    const int i = IndexOf(name);
    if (i >= 0)
        items_[size_t(i)]->Value = value;
}

void TStoredValues::SaveValues()
{
    for (auto &i : items_)
        i->Save();
}

void TStoredValues::RestoreValues()
{
    for (auto &i : items_)
        i->Restore();
}

// ---- TFormStorage --------------------------------------------------------------------------

TFormStorage::TFormStorage(QObject *owner) : TFormPlacement(owner) {}

TFormStorage::~TFormStorage() { SaveOnDestroy(); }

namespace {
// A property storage writing into the placement's section.
void Connect(TPropsStorage &st, TFormPlacement *p, TCustomIniFile *ini)
{
    st.Section = p->IniSection();
    st.OnReadStr = [ini](const std::string &s, const std::string &i, const std::string &d) {
        return ini->ReadString(s, i, d);
    };
    st.OnWriteStr = [ini](const std::string &s, const std::string &i, const std::string &v) {
        ini->WriteString(s, i, v);
    };
    st.OnEraseSect = [ini](const std::string &s) { ini->EraseSection(s); };
}
} // namespace

void TFormStorage::StoredPropsIo(bool store)
{
    IniNeeded();
    IniScope scope{this, &TFormPlacement::IniFree};
    TPropsStorage st;
    Connect(st, this, ini_.get());
    UpdateStoredList(parent(), StoredProps, true);
    if (store)
        st.StoreObjectsProps(parent(), StoredProps);
    else
        st.LoadObjectsProps(parent(), StoredProps);
}

void TFormStorage::SaveProperties() { StoredPropsIo(true); }
void TFormStorage::RestoreProperties() { StoredPropsIo(false); }

void TFormStorage::SavePlacement()
{
    TFormPlacement::SavePlacement();
    SaveProperties();
    values_.SaveValues();
}

void TFormStorage::RestorePlacement()
{
    TFormPlacement::RestorePlacement();
    restored_ = true;
    RestoreProperties();
    values_.RestoreValues();
}
