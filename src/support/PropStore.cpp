#include "support/PropStore.h"

#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"
#include "support/Strutils.h"

#include <QApplication>
#include <QMetaEnum>
#include <QStringList>
#include <QWidget>
#include <map>
#include <memory>

const char *const sPropNameDelimiter = "_";

namespace {

bool IsStringList(const QMetaProperty &p) { return p.metaType().id() == QMetaType::QStringList; }

bool IsObjectPointer(const QMetaProperty &p)
{
    return (p.metaType().flags() & QMetaType::PointerToQObject) != 0;
}

QObject *ObjectValue(const QMetaProperty &p, const QObject *target)
{
    return p.read(target).value<QObject *>();
}

std::string FloatText(double v, int digits)
{
    return QString::number(v, 'g', digits).toStdString();
}

// The identifier of the set member with that ordinal, or empty.
std::string MemberName(const QMetaEnum &e, int ordinal)
{
    const char *key = e.valueToKey(int(1u << ordinal));
    return key ? key : std::string();
}

QObject *FindComponent(QObject *owner, const std::string &name)
{
    if (!owner || name.empty())
        return nullptr;
    const QString n = FromAnsi(name);
    for (QObject *c : owner->findChildren<QObject *>())
        if (c->objectName().compare(n, Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}

// A component's owner: the form it lies on, or its topmost parent.
QObject *OwnerOf(const QObject *component)
{
    QObject *p = component->parent();
    while (p) {
        if (auto *w = qobject_cast<QWidget *>(p); w && w->isWindow())
            return p;
        if (!p->parent())
            return p;
        p = p->parent();
    }
    return nullptr;
}

std::string StripT(const std::string &className)
{
    if (className.size() > 1 && (className[0] == 'T' || className[0] == 't'))
        return className.substr(1);
    return className;
}

} // namespace

TTypeKind PropKind(const QMetaProperty &p)
{
    if (p.isFlagType())
        return tkSet;
    if (p.isEnumType())
        return tkEnumeration;
    switch (p.metaType().id()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Long: case QMetaType::ULong:
        return tkInteger;
    case QMetaType::Bool:
        return tkEnumeration;
    case QMetaType::Char: case QMetaType::SChar: case QMetaType::UChar:
        return tkChar;
    case QMetaType::QChar: case QMetaType::Char16:
        return tkWChar;
    case QMetaType::Float: case QMetaType::Double:
        return tkFloat;
    case QMetaType::QString: case QMetaType::QByteArray:
        return tkLString;
    case QMetaType::LongLong: case QMetaType::ULongLong:
        return tkInt64;
    case QMetaType::QVariant:
        return tkVariant;
    case QMetaType::QStringList:
        return tkClass;
    default:
        break;
    }
    if (IsObjectPointer(p))
        return tkClass;
    return tkUnknown;
}

// ---- TPropInfoList ---------------------------------------------------------------

TPropInfoList::TPropInfoList(const QObject *object, TTypeKinds filter)
{
    if (!object)
        return;
    const QMetaObject *mo = object->metaObject();
    for (int i = 0; i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        if (filter & KindBit(PropKind(p)))
            items_.push_back(p);
    }
}

const QMetaProperty *TPropInfoList::Find(const std::string &name) const
{
    for (const QMetaProperty &p : items_)
        if (Rtl::CompareText(p.name(), name) == 0)
            return &p;
    return nullptr;
}

bool TPropInfoList::Contains(const QMetaProperty &info) const
{
    for (const QMetaProperty &p : items_)
        if (p.metaType() == info.metaType() && Rtl::CompareText(p.name(), info.name()) == 0)
            return true;
    return false;
}

void TPropInfoList::Delete(int i)
{
    if (i >= 0 && i < Count())
        items_.erase(items_.begin() + i);
}

void TPropInfoList::Intersect(const TPropInfoList &list)
{
    for (int i = Count() - 1; i >= 0; --i)
        if (!list.Contains(items_[size_t(i)]))
            Delete(i);
}

// ---- stored items ----------------------------------------------------------------

std::string CreateStoredItem(const std::string &comp, const std::string &prop)
{
    if (comp.empty() || prop.empty())
        return std::string();
    return comp + "." + prop;
}

bool ParseStoredItem(const std::string &item, std::string &comp, std::string &prop)
{
    comp.clear();
    prop.clear();
    const size_t dot = item.find('.');
    if (item.empty() || dot == std::string::npos)
        return false;
    comp = Rtl::Trim(item.substr(0, dot));
    prop = Rtl::Trim(item.substr(dot + 1));
    return !comp.empty() && !prop.empty();
}

void UpdateStoredList(QObject *root, TStringList &list, bool fromRoot)
{
    for (int i = list.Count() - 1; i >= 0; --i) {
        std::string comp, prop;
        if (!ParseStoredItem(list[i], comp, prop)) {
            list.Delete(i);
            continue;
        }
        if (fromRoot) {
            QObject *c = FindComponent(root, comp);
            if (!c)
                list.Delete(i);
            else
                list.PutObject(i, c);
        } else if (auto *c = static_cast<QObject *>(list.Objects(i))) {
            list.Put(i, CreateStoredItem(ToAnsi(c->objectName()), prop));
        } else {
            list.Delete(i);
        }
    }
}

// ---- TPropsStorage -------------------------------------------------------------------

std::string TPropsStorage::ReadString(const std::string &section, const std::string &item,
                                      const std::string &def)
{
    return OnReadStr ? OnReadStr(section, item, def) : std::string();
}

void TPropsStorage::WriteString(const std::string &section, const std::string &item,
                                const std::string &value)
{
    if (OnWriteStr)
        OnWriteStr(section, item, value);
}

void TPropsStorage::EraseSection(const std::string &section)
{
    if (OnEraseSect)
        OnEraseSect(section);
}

std::string TPropsStorage::GetItemName(const std::string &name) { return Prefix + name; }

TPropsStorage *TPropsStorage::CreateStorage() { return new TPropsStorage; }

std::string TPropsStorage::PropertyText(const QMetaProperty &p)
{
    const QVariant v = p.read(Target);
    switch (PropKind(p)) {
    case tkInteger:
        return std::to_string(v.toLongLong());
    case tkInt64:
        return p.metaType().id() == QMetaType::ULongLong ? std::to_string(v.toULongLong())
                                                         : std::to_string(v.toLongLong());
    case tkChar: {
        const char c = char(v.toInt());
        return c ? std::string(1, c) : std::string();
    }
    case tkWChar: {
        const QChar c = v.value<QChar>();
        return c.isNull() ? std::string() : std::string(1, char(c.unicode() & 0xFF));
    }
    case tkEnumeration:
        if (p.metaType().id() == QMetaType::Bool)
            return v.toBool() ? "True" : "False";
        if (const char *key = p.enumerator().valueToKey(v.toInt()))
            return key;
        return std::string();
    case tkFloat:
        return FloatText(v.toDouble(), p.metaType().id() == QMetaType::Float ? 7 : 15);
    case tkLString:
    case tkString:
        return p.metaType().id() == QMetaType::QByteArray ? v.toByteArray().toStdString()
                                                          : ToAnsi(v.toString());
    case tkSet: {
        const QMetaEnum e = p.enumerator();
        const unsigned bits = unsigned(v.toInt());
        std::string r = "[";
        bool first = true;
        for (int i = 0; i < 32; ++i) {
            if (!(bits & (1u << i)))
                continue;
            const std::string name = MemberName(e, i);
            if (name.empty())
                continue;
            if (!first)
                r += ",";
            r += name;
            first = false;
        }
        return r + "]";
    }
    case tkVariant:
        return ToAnsi(v.toString());
    default:
        return std::string();
    }
}

std::string TPropsStorage::ComponentRefText(const QObject *component) const
{
    if (!component)
        return "(null)";
    const std::string name = ToAnsi(component->objectName());
    QObject *owner = OwnerOf(component);
    if (owner && owner != Root) {
        std::string ownerName = ToAnsi(owner->objectName());
        if (ownerName.empty())
            ownerName = StripT(owner->metaObject()->className());
        return ownerName + "." + name;
    }
    return name;
}

void TPropsStorage::Nested(QObject *object, const std::string &prefix, const std::string &section,
                           bool store)
{
    if (!object)
        return;
    std::unique_ptr<TPropsStorage> nested(CreateStorage());
    nested->Target = object;
    nested->Root = Root;
    nested->Prefix = prefix;
    nested->Section = section;
    nested->OnReadStr = OnReadStr;
    nested->OnWriteStr = OnWriteStr;
    nested->OnEraseSect = OnEraseSect;
    TPropInfoList props(object, tkProperties);
    for (int i = 0; i < props.Count(); ++i) {
        if (props.Get(i).propertyIndex() == 0)
            continue;  // the object's name is its identity, not a setting
        if (store)
            nested->StoreAnyProperty(&props.Get(i));
        else
            nested->LoadAnyProperty(&props.Get(i));
    }
}

void TPropsStorage::StoreClass(const QMetaProperty &p)
{
    const std::string name = p.name();
    if (IsStringList(p)) {
        const std::string s = Section + "." + GetItemName(name);
        EraseSection(s);
        const QStringList lines = p.read(Target).toStringList();
        if (!lines.isEmpty()) {
            WriteString(s, "Count", std::to_string(lines.size()));
            for (qsizetype i = 0; i < lines.size(); ++i)
                WriteString(s, "Item" + std::to_string(i), ToAnsi(lines[i]));
        }
        return;
    }
    QObject *obj = ObjectValue(p, Target);
    if (auto *coll = qobject_cast<TPropCollection *>(obj)) {
        const std::string s = Section + "." + Prefix + name;
        EraseSection(s);
        WriteString(Section, Prefix + name + ".Count", std::to_string(coll->Count()));
        for (int i = 0; i < coll->Count(); ++i)
            Nested(coll->Item(i), "Item" + std::to_string(i) + sPropNameDelimiter, s, true);
    } else if (!obj || obj->parent() != Target) {
        WriteString(Section, GetItemName(name), Rtl::Trim(ComponentRefText(obj)));
        return;
    }
    Nested(obj, Prefix + name, Section, true);
}

void TPropsStorage::StoreAnyProperty(const QMetaProperty *info)
{
    if (!info || !Target)
        return;
    const TTypeKind kind = PropKind(*info);
    if (kind == tkClass) {
        StoreClass(*info);
        return;
    }
    const std::string text = PropertyText(*info);
    if (text.empty() && kind != tkString && kind != tkLString && kind != tkWChar)
        return;
    WriteString(Section, GetItemName(info->name()), Rtl::Trim(text));
}

void TPropsStorage::ApplyText(const QMetaProperty &p, const std::string &text)
{
    switch (PropKind(p)) {
    case tkInteger:
        p.write(Target, Rtl::StrToIntDef(text, 0));
        break;
    case tkInt64:
        p.write(Target, QVariant::fromValue<qlonglong>(Rtl::StrToInt64Def(text, 0)));
        break;
    case tkChar:
        p.write(Target, QVariant::fromValue(text.empty() ? char(0) : text[0]));
        break;
    case tkWChar:
        p.write(Target, QVariant::fromValue(text.empty() ? QChar() : FromAnsi(text.substr(0, 1)).at(0)));
        break;
    case tkEnumeration: {
        if (p.metaType().id() == QMetaType::Bool) {
            if (Rtl::CompareText(text, "True") == 0)
                p.write(Target, true);
            else if (Rtl::CompareText(text, "False") == 0)
                p.write(Target, false);
            break;
        }
        const QMetaEnum e = p.enumerator();
        for (int i = 0; i < e.keyCount(); ++i) {
            if (Rtl::CompareText(e.key(i), text) == 0) {
                p.write(Target, e.value(i));
                break;
            }
        }
        break;
    }
    case tkFloat: {
        bool ok = false;
        const double v = QString::fromStdString(text).toDouble(&ok);
        if (!ok)
            throw EConvertError("'" + text + "' is not a valid floating point value");
        p.write(Target, v);
        break;
    }
    case tkLString:
    case tkString:
        if (p.metaType().id() == QMetaType::QByteArray)
            p.write(Target, QByteArray::fromStdString(text));
        else
            p.write(Target, FromAnsi(text));
        break;
    case tkSet: {
        const QMetaEnum e = p.enumerator();
        unsigned bits = 0;
        const TCharSet delims = CharSet(" ,[]");
        for (int w = 1; w <= WordCount(text, delims); ++w) {
            const std::string word = ExtractWord(w, text, delims);
            for (int i = 0; i < 32; ++i) {
                const std::string name = MemberName(e, i);
                if (!name.empty() && Rtl::CompareText(name, word) == 0)
                    bits |= 1u << i;
            }
        }
        p.write(Target, int(bits));
        break;
    }
    case tkVariant:
        p.write(Target, QVariant(FromAnsi(text)));
        break;
    default:
        break;
    }
}

void TPropsStorage::LoadClass(const QMetaProperty &p, const std::string &text)
{
    const std::string name = p.name();
    if (IsStringList(p)) {
        const std::string s = Section + "." + GetItemName(name);
        const int count = Rtl::StrToIntDef(Rtl::Trim(ReadString(s, "Count", "0")), 0);
        if (count > 0) {
            QStringList lines;
            for (int i = 0; i < count; ++i)
                lines << FromAnsi(ReadString(s, "Item" + std::to_string(i), ""));
            p.write(Target, lines);
        }
        return;
    }
    QObject *obj = ObjectValue(p, Target);
    if (auto *coll = qobject_cast<TPropCollection *>(obj)) {
        const std::string s = Section + "." + Prefix + name;
        const int n = Rtl::StrToIntDef(
            Rtl::Trim(ReadString(Section, Prefix + name + ".Count", std::to_string(coll->Count()))),
            coll->Count());
        coll->BeginUpdate();
        struct End {
            TPropCollection *c;
            ~End() { c->EndUpdate(); }
        } end{coll};
        if (n != coll->Count()) {
            coll->Clear();
            for (int i = 0; i < n; ++i)
                coll->Add();
        }
        for (int i = 0; i < coll->Count(); ++i)
            Nested(coll->Item(i), "Item" + std::to_string(i) + sPropNameDelimiter, s, false);
    } else if (!obj || obj->parent() != Target) {
        // A component reference.
        if (text.empty())
            return;
        if (Rtl::CompareText(text, "(null)") == 0) {
            p.write(Target, QVariant::fromValue<QObject *>(nullptr));
            return;
        }
        QObject *owner = Root;
        std::string compName = text;
        const size_t dot = text.find('.');
        if (dot != std::string::npos) {
            const QString ownerName = FromAnsi(text.substr(0, dot));
            compName = text.substr(dot + 1);
            owner = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->objectName().compare(ownerName, Qt::CaseInsensitive) == 0) {
                    owner = w;
                    break;
                }
        }
        if (!owner)
            return;
        QObject *found = FindComponent(owner, compName);
        p.write(Target, QVariant::fromValue(found));
        return;
    }
    Nested(obj, Prefix + name, Section, false);
}

void TPropsStorage::LoadAnyProperty(const QMetaProperty *info)
{
    if (!info || !Target)
        return;
    try {
        const TTypeKind kind = PropKind(*info);
        const std::string def = kind == tkClass ? std::string() : PropertyText(*info);
        std::string text;
        if (!def.empty() || kind == tkString || kind == tkLString || kind == tkClass || kind == tkWChar)
            text = Rtl::Trim(ReadString(Section, GetItemName(info->name()), def));
        if (kind == tkClass)
            LoadClass(*info, text);
        else
            ApplyText(*info, text);
    } catch (...) {
        // One property that cannot be loaded keeps its value.
    }
}

void TPropsStorage::StoreProperties(const TStringList &properties)
{
    TPropInfoList props(Target, tkProperties);
    for (int i = 0; i < properties.Count(); ++i)
        if (const QMetaProperty *p = props.Find(properties[i]))
            StoreAnyProperty(p);
}

void TPropsStorage::LoadProperties(const TStringList &properties)
{
    TPropInfoList props(Target, tkProperties);
    for (int i = 0; i < properties.Count(); ++i)
        if (const QMetaProperty *p = props.Find(properties[i]))
            LoadAnyProperty(p);
}

namespace {

void ObjectsProps(TPropsStorage &st, QObject *root, TStringList &objProps, bool store)
{
    UpdateStoredList(root, objProps, false);
    std::map<std::string, std::unique_ptr<TPropInfoList>> lists;  // by component name
    for (int i = 0; i < objProps.Count(); ++i) {
        std::string comp, prop;
        if (ParseStoredItem(objProps[i], comp, prop) && !lists.count(Rtl::UpperCase(comp)))
            lists[Rtl::UpperCase(comp)] = std::make_unique<TPropInfoList>(
                static_cast<QObject *>(objProps.Objects(i)), tkProperties);
    }
    st.Root = root;
    struct Reset {
        TPropsStorage &s;
        ~Reset() { s.Root = nullptr; }
    } reset{st};
    for (int i = 0; i < objProps.Count(); ++i) {
        std::string comp, prop;
        if (!ParseStoredItem(objProps[i], comp, prop))
            continue;
        st.Target = static_cast<QObject *>(objProps.Objects(i));
        st.Prefix = comp;
        auto it = lists.find(Rtl::UpperCase(comp));
        if (it == lists.end())
            continue;
        st.Prefix = comp + sPropNameDelimiter;
        if (const QMetaProperty *p = it->second->Find(prop)) {
            if (store)
                st.StoreAnyProperty(p);
            else
                st.LoadAnyProperty(p);
        }
    }
}

} // namespace

void TPropsStorage::StoreObjectsProps(QObject *root, TStringList &objProps)
{
    ObjectsProps(*this, root, objProps, true);
}

void TPropsStorage::LoadObjectsProps(QObject *root, TStringList &objProps)
{
    ObjectsProps(*this, root, objProps, false);
}
