#include "support/WinHook.h"

#include <QCoreApplication>
#include <QEvent>
#include <QtGlobal>
#include <algorithm>

// The list of event filters installed on an object: a record hands the event
// on to the filters installed before it, in the order Qt itself would, before
// it gives the event to the widget.
#include <QtCore/private/qobject_p.h>

namespace {

THookList *hookList = nullptr;

THookExceptionHandler &exceptionHandler()
{
    static THookExceptionHandler h;
    return h;
}

void reportException(QObject *sender, std::exception_ptr error)
{
    if (exceptionHandler()) {
        try {
            exceptionHandler()(sender, error);
        } catch (...) {
        }
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        qWarning("Exception in a window hook: %s", e.what());
    } catch (...) {
        qWarning("Exception in a window hook");
    }
}

// Deferred freeing of a record without hooks.
const QEvent::Type FreeControlHookEvent = QEvent::Type(QEvent::registerEventType());

class FreeControlHook : public QEvent {
public:
    explicit FreeControlHook(TControlHook *r) : QEvent(FreeControlHookEvent), record(r) {}
    TControlHook *record;
};

} // namespace

void SetHookExceptionHandler(THookExceptionHandler handler)
{
    exceptionHandler() = std::move(handler);
}

bool IsDestroyMessage(int msg)
{
    return msg == QEvent::DeferredDelete;
}

// ---- TWindowHook -----------------------------------------------------------------

TWindowHook::TWindowHook(QObject *owner) : QObject(owner) {}

TWindowHook::~TWindowHook()
{
    destroying_ = true;
    SetActive(false);
    SetWinControl(nullptr);
}

QWidget *TWindowHook::WinControl() const
{
    if (hook_)
        return hook_->Control();
    return control_;
}

void TWindowHook::SetWinControl(QWidget *value)
{
    if (value == WinControl())
        return;
    const bool wasActive = active_;
    TControlHook *old = DoUnhookControl();
    active_ = wasActive;
    if (destroyedConnection_)
        disconnect(destroyedConnection_);
    control_ = value;
    if (value)
        destroyedConnection_ = connect(value, &QObject::destroyed, this,
                                       [this](QObject *o) { ControlDestroyed(o); });
    if (old && old->Hooks().empty() && HookListIfAny())
        HookListIfAny()->PostFreeControlHook(old);
    if (wasActive)
        HookControl();
}

void TWindowHook::ControlDestroyed(QObject *)
{
    // The widget is going away (our guarded pointers to it are already
    // cleared): detach, forget it, and let its record be freed later.
    const bool wasActive = active_;
    TControlHook *old = DoUnhookControl();
    active_ = wasActive;
    control_ = nullptr;
    if (destroyedConnection_)
        disconnect(destroyedConnection_);
    if (old && old->Hooks().empty() && HookListIfAny())
        HookListIfAny()->PostFreeControlHook(old);
}

void TWindowHook::SetActive(bool value)
{
    if (value == active_)
        return;
    if (value)
        HookControl();
    else
        UnhookControl();
}

bool TWindowHook::IsForm() const
{
    QWidget *owner = qobject_cast<QWidget *>(parent());
    return owner && owner->isWindow() && WinControl() == owner;
}

void TWindowHook::SetIsForm(bool value)
{
    QWidget *owner = qobject_cast<QWidget *>(parent());
    if (value && owner && owner->isWindow())
        SetWinControl(owner);
}

void TWindowHook::HookControl()
{
    if (control_ && !destroying_) {
        TControlHook *record = GetHookList()->GetControlHook(control_);
        record->AddHook(this);
    }
    active_ = true;
}

void TWindowHook::UnhookControl()
{
    DoUnhookControl();
}

TControlHook *TWindowHook::DoUnhookControl()
{
    TControlHook *record = hook_;
    if (record)
        record->RemoveHook(this);
    active_ = false;
    return record;
}

void TWindowHook::DoBeforeMessage(TMessage &msg, bool &handled)
{
    if (BeforeMessage)
        BeforeMessage(this, msg, handled);
}

void TWindowHook::DoAfterMessage(TMessage &msg, bool &handled)
{
    if (AfterMessage)
        AfterMessage(this, msg, handled);
}

// ---- TControlHook ----------------------------------------------------------------

TControlHook::TControlHook() = default;

TControlHook::~TControlHook()
{
    destroying_ = true;
    if (hookList)
        hookList->Remove(this);
    while (!hooks_.empty())
        RemoveHook(hooks_.back());
    SetControl(nullptr);
}

void TControlHook::AddHook(TWindowHook *hook)
{
    if (std::find(hooks_.begin(), hooks_.end(), hook) == hooks_.end()) {
        hooks_.push_back(hook);
        hook->hook_ = this;
        SetControl(hook->control_);
    }
    HookWindow();
}

void TControlHook::RemoveHook(TWindowHook *hook)
{
    hook->hook_ = nullptr;
    hooks_.erase(std::remove(hooks_.begin(), hooks_.end(), hook), hooks_.end());
    if (hooks_.empty())
        UnhookWindow();
}

void TControlHook::SetControl(QWidget *control)
{
    if (control == control_)
        return;
    UnhookWindow();
    control_ = control;
    if (!hooks_.empty())
        HookWindow();
}

void TControlHook::HookWindow()
{
    if (!control_ || destroying_ || subclassed_)
        return;
    control_->installEventFilter(this);
    subclassed_ = true;
}

void TControlHook::UnhookWindow()
{
    if (subclassed_ && control_)
        control_->removeEventFilter(this);
    subclassed_ = false;
}

void TControlHook::NotifyHooks(Phase phase, TMessage &msg, bool &handled)
{
    if (hooks_.empty() || !control_ || destroying_)
        return;
    // Handlers may attach or detach hooks: walk a copy, skipping hooks that
    // left meanwhile.
    const std::vector<TWindowHook *> hooks = hooks_;
    for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) {
        TWindowHook *hook = *it;
        if (std::find(hooks_.begin(), hooks_.end(), hook) == hooks_.end())
            continue;
        try {
            if (phase == Phase::Before)
                hook->DoBeforeMessage(msg, handled);
            else
                hook->DoAfterMessage(msg, handled);
        } catch (...) {
            reportException(this, std::current_exception());
        }
        if (handled || !control_)
            break;
    }
}

bool TControlHook::DeliverBelow(QWidget *control, QEvent *event)
{
    // Qt walks an object's filters from the last installed to the first and
    // stops at the first that takes the event; the record stands somewhere in
    // that walk. Those above it have had the event already; those below it
    // (installed earlier) get it now, then the widget, exactly as Qt would
    // have delivered it without the record.
    QObjectPrivate *d = QObjectPrivate::get(control);
    if (d->extraData) {
        const auto &filters = d->extraData->eventFilters;
        qsizetype i = filters.indexOf(this);
        if (i < 0)
            i = filters.size();  // not in the walk: the filters have all run
        for (++i; i < filters.size(); ++i) {
            QObject *filter = filters.at(i);
            if (!filter || filter == this)
                continue;
            if (filter->thread() != control->thread())
                continue;  // Qt skips filters of another thread too
            if (filter->eventFilter(control, event))
                return true;
        }
    }
    QObject *target = control;  // event() is public on QObject
    return target->event(event);
}

bool TControlHook::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != control_ || !subclassed_)
        return false;
    QPointer<TControlHook> self(this);
    QPointer<QWidget> control(control_);
    TMessage msg;
    msg.Event = event;
    msg.Msg = int(event->type());
    bool handled = false;
    if (event->type() != QEvent::Quit)
        NotifyHooks(Phase::Before, msg, handled);
    if (!self || !control)
        return true;
    if (handled && !IsDestroyMessage(msg.Msg))
        return true;
    // The rest of the delivery, as the window procedure below us.
    try {
        msg.Result = DeliverBelow(control.data(), event);
    } catch (...) {
        if (self && control)
            NotifyHooks(Phase::After, msg, handled);
        throw;
    }
    if (self && control)
        NotifyHooks(Phase::After, msg, handled);
    // Delivered: Qt must not hand it to the filters or the widget again (a
    // widget's event() answers false for events it does not know).
    return true;
}

// ---- THookList -------------------------------------------------------------------

THookList::THookList() = default;

THookList::~THookList()
{
    while (!records_.empty()) {
        TControlHook *r = records_.back();
        records_.pop_back();
        delete r;
    }
}

TControlHook *THookList::FindControlHook(QWidget *control) const
{
    if (!control)
        return nullptr;
    for (TControlHook *r : records_)
        if (r->Control() == control)
            return r;
    return nullptr;
}

TControlHook *THookList::GetControlHook(QWidget *control)
{
    TControlHook *r = FindControlHook(control);
    if (r)
        return r;
    auto *created = new TControlHook();
    try {
        records_.push_back(created);
        created->SetControl(control);
    } catch (...) {
        delete created;
        throw;
    }
    return created;
}

bool THookList::Contains(const TControlHook *record) const
{
    return std::find(records_.begin(), records_.end(), record) != records_.end();
}

void THookList::PostFreeControlHook(TControlHook *record)
{
    QCoreApplication::postEvent(this, new FreeControlHook(record));
}

void THookList::Remove(TControlHook *record)
{
    records_.erase(std::remove(records_.begin(), records_.end(), record), records_.end());
}

void THookList::customEvent(QEvent *event)
{
    if (event->type() != FreeControlHookEvent)
        return;
    try {
        TControlHook *record = static_cast<FreeControlHook *>(event)->record;
        // The record may have been freed meanwhile: look it up first.
        if (Contains(record) && record->Hooks().empty())
            delete record;
    } catch (...) {
        reportException(this, std::current_exception());
    }
}

THookList *GetHookList()
{
    if (!hookList) {
        hookList = new THookList();
        qAddPostRoutine(FreeHookList);
    }
    return hookList;
}

THookList *HookListIfAny() { return hookList; }

void FreeHookList()
{
    // Records leave the list themselves when freed, so the list stays
    // reachable while it frees them.
    delete hookList;
    hookList = nullptr;
}

QObject *GetHookHandle() { return hookList; }
