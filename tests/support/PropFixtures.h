#pragma once
// Objects with properties of every stored kind, for the property storage
// and the form storage tests.
#include "support/PropStore.h"

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <vector>

class TSampleItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Title MEMBER Title)
    Q_PROPERTY(int Length MEMBER Length)
public:
    using QObject::QObject;
    QString Title;
    int Length = 0;
};

class TSampleItems : public TPropCollection {
    Q_OBJECT
public:
    using TPropCollection::TPropCollection;
    int Count() const override { return int(items.size()); }
    QObject *Item(int i) const override { return items.at(size_t(i)); }
    QObject *Add() override
    {
        items.push_back(new TSampleItem(this));
        return items.back();
    }
    void Clear() override
    {
        for (TSampleItem *i : items)
            delete i;
        items.clear();
    }
    void BeginUpdate() override { ++updates; }
    std::vector<TSampleItem *> items;
    int updates = 0;
};

class TSampleSub : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Size MEMBER Size)
public:
    using QObject::QObject;
    int Size = 8;
};

class TSample : public QObject {
    Q_OBJECT
public:
    enum TLetter { la, lb, lc };
    Q_ENUM(TLetter)
    enum TOption { a = 1, b = 2, c = 4 };
    Q_DECLARE_FLAGS(TOptions, TOption)
    Q_FLAG(TOptions)

private:
    Q_PROPERTY(int Count MEMBER Count)
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(double Ratio MEMBER Ratio)
    Q_PROPERTY(float Single MEMBER Single)
    Q_PROPERTY(TLetter Letter MEMBER Letter)
    Q_PROPERTY(TOptions Options READ options WRITE setOptions)
    Q_PROPERTY(bool Enabled MEMBER Enabled)
    Q_PROPERTY(char Initial MEMBER Initial)
    Q_PROPERTY(qlonglong Big MEMBER Big)
    Q_PROPERTY(QVariant Any MEMBER Any)
    Q_PROPERTY(QStringList Lines MEMBER Lines)
    Q_PROPERTY(QObject *Buddy MEMBER Buddy)
    Q_PROPERTY(TSampleItems *Items MEMBER Items)
    Q_PROPERTY(TSampleSub *Sub MEMBER Sub)

public:
    explicit TSample(QObject *parent = nullptr) : QObject(parent)
    {
        Items = new TSampleItems(this);
        Sub = new TSampleSub(this);
    }
    TOptions options() const { return Options; }
    void setOptions(TOptions o) { Options = o; }
    int Count = 0;
    QString Caption;
    double Ratio = 0;
    float Single = 0;
    TLetter Letter = la;
    TOptions Options;
    bool Enabled = false;
    char Initial = 'a';
    qlonglong Big = 0;
    QVariant Any;
    QStringList Lines;
    QObject *Buddy = nullptr;
    TSampleItems *Items = nullptr;
    TSampleSub *Sub = nullptr;
};
Q_DECLARE_OPERATORS_FOR_FLAGS(TSample::TOptions)
