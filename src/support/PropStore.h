#pragma once
// Published-property storage: saves the properties of objects as text items
// and restores them, through three callbacks (read an item, write an item,
// erase a section) that the caller connects to any store of sections and
// named string items.
//
// "Published properties" are the Qt properties (Q_PROPERTY) of an object.
// Their kinds map onto the class library's as follows: integers (int,
// unsigned, short, long) are integer; char is character, QChar wide
// character; enumerations and bool (False/True) are enumeration; flag types
// are sets (the member with the value 1 << n has the ordinal n); float and
// double are floating point; QString and QByteArray are strings; QVariant is
// variant; 64-bit integers are 64-bit integer; QStringList (a string list),
// TPropCollection pointers (collections) and other QObject pointers are
// class properties. A QObject pointer is a component reference unless the
// object is a child of the property's owner, in which case it is stored
// with its own properties, as a nested object.
#include "platform/Classes.h"

#include <QMetaProperty>
#include <QObject>
#include <functional>
#include <string>
#include <vector>

enum TTypeKind {
    tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod,
    tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64, tkDynArray
};
using TTypeKinds = unsigned;
constexpr TTypeKinds KindBit(TTypeKind k) { return 1u << unsigned(k); }
// Every kind the storage handles (everything but events).
constexpr TTypeKinds tkProperties =
    KindBit(tkInteger) | KindBit(tkChar) | KindBit(tkEnumeration) | KindBit(tkFloat)
    | KindBit(tkString) | KindBit(tkSet) | KindBit(tkClass) | KindBit(tkWChar) | KindBit(tkLString)
    | KindBit(tkVariant) | KindBit(tkInt64);

// The kind of a property.
TTypeKind PropKind(const QMetaProperty &prop);

extern const char *const sPropNameDelimiter;  // "_"

// A collection: a list of item objects whose properties are stored one
// section per collection. Derive and give the item class.
class TPropCollection : public QObject {
    Q_OBJECT
public:
    explicit TPropCollection(QObject *parent = nullptr) : QObject(parent) {}
    virtual int Count() const = 0;
    virtual QObject *Item(int i) const = 0;
    virtual QObject *Add() = 0;
    virtual void Clear() = 0;
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
};

class TPropInfoList {
public:
    // The properties of the object's class whose kind is in the set, in the
    // order of the class's meta-object; empty for no object.
    TPropInfoList(const QObject *object, TTypeKinds filter);
    int Count() const { return int(items_.size()); }
    const QMetaProperty &Get(int i) const { return items_.at(size_t(i)); }
    // The first property of that name (case ignored), or none.
    const QMetaProperty *Find(const std::string &name) const;
    // Same type and, case ignored, the same name.
    bool Contains(const QMetaProperty &info) const;
    void Delete(int i);
    // Deletes every entry the other list does not contain.
    void Intersect(const TPropInfoList &list);

private:
    std::vector<QMetaProperty> items_;
};

using TReadStrEvent = std::function<std::string(const std::string &section, const std::string &item,
                                                const std::string &def)>;
using TWriteStrEvent = std::function<void(const std::string &section, const std::string &item,
                                          const std::string &value)>;
using TEraseSectEvent = std::function<void(const std::string &section)>;

class TPropsStorage {
public:
    virtual ~TPropsStorage() = default;

    QObject *Target = nullptr;
    QObject *Root = nullptr;
    std::string Prefix;
    std::string Section;
    TReadStrEvent OnReadStr;
    TWriteStrEvent OnWriteStr;
    TEraseSectEvent OnEraseSect;

    virtual std::string ReadString(const std::string &section, const std::string &item,
                                   const std::string &def);
    virtual void WriteString(const std::string &section, const std::string &item,
                             const std::string &value);
    virtual void EraseSection(const std::string &section);
    virtual std::string GetItemName(const std::string &name);
    virtual TPropsStorage *CreateStorage();

    void StoreAnyProperty(const QMetaProperty *info);
    void LoadAnyProperty(const QMetaProperty *info);
    // The named properties of Target; names matching none are skipped.
    void StoreProperties(const TStringList &properties);
    void LoadProperties(const TStringList &properties);
    // The list holds "Component.Property" items with the components attached
    // as the items' objects (QObject pointers).
    void StoreObjectsProps(QObject *root, TStringList &objProps);
    void LoadObjectsProps(QObject *root, TStringList &objProps);

private:
    std::string PropertyText(const QMetaProperty &prop);
    void ApplyText(const QMetaProperty &prop, const std::string &text);
    void StoreClass(const QMetaProperty &prop);
    std::string ComponentRefText(const QObject *component) const;
    void LoadClass(const QMetaProperty &prop, const std::string &text);
    void Nested(QObject *object, const std::string &prefix, const std::string &section, bool store);
};

// "Component.Property"; empty unless both are given.
std::string CreateStoredItem(const std::string &comp, const std::string &prop);
// Splits at the first ".", both parts trimmed; true when both are non-empty.
bool ParseStoredItem(const std::string &item, std::string &comp, std::string &prop);
// Walks the list from the last item: items that do not parse are deleted;
// with fromRoot the component of that name under root is attached (the item
// deleted when there is none); without it an attached component's current
// name is written back and items without one are deleted.
void UpdateStoredList(QObject *root, TStringList &list, bool fromRoot);
