#pragma once
// Window hooks: components that watch and intercept the events of another
// widget without its cooperation.
//
// A TWindowHook names a widget; while it is active, every event of that
// widget passes through the hook's BeforeMessage handler before the widget's
// own event() runs, and through its AfterMessage handler afterwards. Several
// hooks may watch one widget: one TControlHook record per widget installs
// itself as the widget's event filter and delivers the event to the widget
// itself, between the two phases. A process-wide THookList owns the records
// and frees a record left without hooks later, from the event loop, never
// inside the event that left it empty.
//
// The record is one event filter in Qt's walk over the widget's filters
// (the last installed runs first). Filters installed later run before the
// hooks, as a later subclasser would; filters installed earlier still see
// every event, after the before phase and in Qt's order, then the widget's
// event() runs and the after phase follows. A filter below the record that
// takes the event stops it as Qt would: the widget does not see it, the
// after phase still runs.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <vector>

class QEvent;
class TWindowHook;
class TControlHook;

// The message record: the event itself, its type, and the result of the
// widget's event() (or the result a hook chose when it handled the event).
struct TMessage {
    QEvent *Event = nullptr;
    int Msg = 0;
    bool Result = false;
};

using THookMessageEvent = std::function<void(TWindowHook *sender, TMessage &msg, bool &handled)>;

// Where exceptions raised by hook handlers go: the application's standard
// handling. The default writes the message to the debug log.
using THookExceptionHandler = std::function<void(QObject *sender, std::exception_ptr error)>;
void SetHookExceptionHandler(THookExceptionHandler handler);

class TWindowHook : public QObject {
public:
    explicit TWindowHook(QObject *owner = nullptr);
    ~TWindowHook() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    // The watched widget: the attached record's while attached, else the
    // named one.
    QWidget *WinControl() const;
    void SetWinControl(QWidget *value);
    // The stored "IsForm" value: the watched widget is the hook's owner and
    // that owner is a form (a top-level widget). Setting it true while the
    // owner is a form watches the owner.
    bool IsForm() const;
    void SetIsForm(bool value);

    void HookControl();
    void UnhookControl();

    THookMessageEvent BeforeMessage;
    THookMessageEvent AfterMessage;

protected:
    virtual void DoBeforeMessage(TMessage &msg, bool &handled);
    virtual void DoAfterMessage(TMessage &msg, bool &handled);

private:
    friend class TControlHook;
    TControlHook *DoUnhookControl();
    void ControlDestroyed(QObject *control);

    QPointer<QWidget> control_;
    QPointer<TControlHook> hook_;
    QMetaObject::Connection destroyedConnection_;
    bool active_ = true;
    bool destroying_ = false;
};

// One record per watched widget.
class TControlHook : public QObject {
public:
    TControlHook();
    ~TControlHook() override;

    QWidget *Control() const { return control_; }
    // The attached hooks, in the order of attachment.
    const std::vector<TWindowHook *> &Hooks() const { return hooks_; }
    // Whether the record currently filters its widget's events.
    bool Subclassed() const { return subclassed_; }

    void AddHook(TWindowHook *hook);
    void RemoveHook(TWindowHook *hook);
    void SetControl(QWidget *control);
    void HookWindow();
    void UnhookWindow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Phase { Before, After };
    bool DeliverBelow(QWidget *control, QEvent *event);
    void NotifyHooks(Phase phase, TMessage &msg, bool &handled);

    QPointer<QWidget> control_;
    std::vector<TWindowHook *> hooks_;
    bool subclassed_ = false;
    bool destroying_ = false;
};

// The process-wide list of records.
class THookList : public QObject {
public:
    THookList();
    ~THookList() override;

    TControlHook *FindControlHook(QWidget *control) const;
    TControlHook *GetControlHook(QWidget *control);
    bool Contains(const TControlHook *record) const;
    int Count() const { return int(records_.size()); }
    // Asks for the record to be freed from the event loop when it still has
    // no hooks then.
    void PostFreeControlHook(TControlHook *record);

protected:
    void customEvent(QEvent *event) override;

private:
    friend class TControlHook;
    void Remove(TControlHook *record);
    std::vector<TControlHook *> records_;
};

// The list, created on first use; FreeHookList frees it (the application's
// end does so by itself).
THookList *GetHookList();
THookList *HookListIfAny();
void FreeHookList();
// The list's object that receives the deferred work; none without a list.
QObject *GetHookHandle();

// Event types that always reach the widget, even when a hook handled them:
// the deletion of the widget cannot be vetoed.
bool IsDestroyMessage(int msg);
