#include "support/ProgReg.h"

#include <QMetaProperty>
#include <QProgressBar>

namespace {

std::string Cut63(const std::string &s) { return s.substr(0, 63); }

bool IsOrDerives(const QMetaObject *cls, const QMetaObject *base)
{
    for (; cls; cls = cls->superClass())
        if (cls == base)
            return true;
    return false;
}

} // namespace

TProgressList::TProgressList()
{
    Add(&QProgressBar::staticMetaObject, "maximum", "minimum", "value");
}

void TProgressList::Add(const QMetaObject *controlClass, const std::string &maxPropName,
                        const std::string &minPropName, const std::string &progressPropName)
{
    items_.push_back({controlClass, Cut63(maxPropName), Cut63(minPropName), Cut63(progressPropName)});
}

void TProgressList::Remove(const QMetaObject *controlClass)
{
    for (size_t i = items_.size(); i-- > 0;)
        if (IsOrDerives(items_[i].ControlClass, controlClass))
            items_.erase(items_.begin() + std::ptrdiff_t(i));
}

const TProgressProp *TProgressList::FindClass(const QObject *control) const
{
    if (!control)
        return nullptr;
    for (size_t i = items_.size(); i-- > 0;)
        if (IsOrDerives(control->metaObject(), items_[i].ControlClass))
            return &items_[i];
    return nullptr;
}

TProgressList &GetProgressList()
{
    static TProgressList list;
    return list;
}

void RegisterProgressControl(const QMetaObject *controlClass, const std::string &maxPropName,
                             const std::string &minPropName, const std::string &progressPropName)
{
    GetProgressList().Add(controlClass, maxPropName, minPropName, progressPropName);
}

void UnRegisterProgressControl(const QMetaObject *controlClass)
{
    GetProgressList().Remove(controlClass);
}

bool SupportsProgressControl(const QObject *control)
{
    return control && GetProgressList().FindClass(control) != nullptr;
}

bool SetProgressProperty(const TProgressList &list, QObject *control, TProgressProperty which,
                         int value)
{
    const TProgressProp *rec = list.FindClass(control);
    if (!rec)
        return false;
    const std::string &name = which == TProgressProperty::Max ? rec->MaxPropName
                              : which == TProgressProperty::Min ? rec->MinPropName
                                                                : rec->ProgressPropName;
    const QMetaObject *mo = control->metaObject();
    const int index = mo->indexOfProperty(name.c_str());
    if (index < 0)
        return false;
    const QMetaProperty prop = mo->property(index);
    if (!prop.isWritable())
        return false;
    switch (prop.metaType().id()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::Long: case QMetaType::ULong:
    case QMetaType::LongLong: case QMetaType::ULongLong: case QMetaType::Short:
    case QMetaType::UShort:
        return prop.write(control, QVariant(value));
    case QMetaType::Double: case QMetaType::Float:
        return prop.write(control, QVariant(double(value)));
    case QMetaType::QVariant:
        return prop.write(control, QVariant(value));
    default:
        return false;
    }
}

bool SetProgressMax(QObject *control, int value)
{
    return SetProgressProperty(GetProgressList(), control, TProgressProperty::Max, value);
}

bool SetProgressMin(QObject *control, int value)
{
    return SetProgressProperty(GetProgressList(), control, TProgressProperty::Min, value);
}

bool SetProgressValue(QObject *control, int value)
{
    return SetProgressProperty(GetProgressList(), control, TProgressProperty::Progress, value);
}
