#pragma once
// The progress-control registry: any kind of progress indicator driven
// without knowing its class. Each registered class (a Qt meta-object) is
// recorded with the names of its maximum, minimum and progress properties;
// the calls below set those properties by name through Qt's property system.
// QProgressBar is registered from the start with "maximum", "minimum" and
// "value".
#include <QObject>
#include <string>
#include <vector>

struct TProgressProp {
    const QMetaObject *ControlClass = nullptr;
    std::string MaxPropName;       // at most 63 characters
    std::string MinPropName;
    std::string ProgressPropName;
};

enum class TProgressProperty { Max, Min, Progress };

class TProgressList {
public:
    TProgressList();
    void Add(const QMetaObject *controlClass, const std::string &maxPropName,
             const std::string &minPropName, const std::string &progressPropName);
    // Removes every record of the class or of a class derived from it.
    void Remove(const QMetaObject *controlClass);
    // The last registered record whose class the control is or derives from.
    const TProgressProp *FindClass(const QObject *control) const;
    const std::vector<TProgressProp> &Items() const { return items_; }

private:
    std::vector<TProgressProp> items_;
};

// The process-wide list, made on first use.
TProgressList &GetProgressList();

void RegisterProgressControl(const QMetaObject *controlClass, const std::string &maxPropName,
                             const std::string &minPropName, const std::string &progressPropName);
void UnRegisterProgressControl(const QMetaObject *controlClass);
bool SupportsProgressControl(const QObject *control);
// True when the property exists and is of integer, floating-point or
// variant kind and took the value.
bool SetProgressProperty(const TProgressList &list, QObject *control, TProgressProperty which,
                         int value);
bool SetProgressMax(QObject *control, int value);
bool SetProgressMin(QObject *control, int value);
bool SetProgressValue(QObject *control, int value);
