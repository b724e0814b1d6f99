#include "platform/ScriptedDialogs.h"

using Dialogs::Button;

ScriptedDialogs &ScriptedDialogs::AnswerButton(Button button)
{
    script_.push_back(button);
    return *this;
}

ScriptedDialogs &ScriptedDialogs::AnswerPath(std::string path)
{
    script_.push_back(std::move(path));
    return *this;
}

ScriptedDialogs &ScriptedDialogs::AnswerCancel()
{
    script_.push_back(Cancel{});
    return *this;
}

ScriptedDialogs &ScriptedDialogs::AnswerPrinter(bool accepted)
{
    script_.push_back(accepted);
    return *this;
}

int ScriptedDialogs::UnscriptedCount() const
{
    int n = 0;
    for (const Call &c : Calls)
        if (!c.scripted)
            ++n;
    return n;
}

std::vector<ScriptedDialogs::Call> ScriptedDialogs::CallsOf(Kind kind) const
{
    std::vector<Call> r;
    for (const Call &c : Calls)
        if (c.kind == kind)
            r.push_back(c);
    return r;
}

void ScriptedDialogs::Reset()
{
    Calls.clear();
    script_.clear();
}

const char *ScriptedDialogs::KindName(Kind kind)
{
    switch (kind) {
    case Kind::MessageBox: return "MessageBox";
    case Kind::OpenFile: return "OpenFile";
    case Kind::SaveFile: return "SaveFile";
    case Kind::BrowseFolder: return "BrowseFolder";
    case Kind::PrinterSetup: return "PrinterSetup";
    case Kind::ShellOpen: return "ShellOpen";
    }
    return "?";
}

void ScriptedDialogs::Record(const Call &call)
{
    Calls.push_back(call);
    if (OnCall)
        OnCall(call);   // may make further calls: it gets its own copy
}

Button ScriptedDialogs::MessageBox(const Dialogs::MessageBoxRequest &rq)
{
    Call c;
    c.kind = Kind::MessageBox;
    c.owner = rq.owner;
    c.caption = rq.caption;
    c.text = rq.text;
    c.buttons = rq.buttons;
    c.icon = rq.icon;
    c.defaultButton = rq.defaultButton;
    if (!script_.empty() && std::holds_alternative<Button>(script_.front())) {
        c.answerButton = std::get<Button>(script_.front());
        script_.pop_front();
    } else {
        c.scripted = false;
        c.answerButton = Dialogs::EffectiveDefault(rq.buttons, rq.defaultButton);
    }
    Record(c);
    return c.answerButton;
}

std::optional<std::string> ScriptedDialogs::PathAnswer(Call &c)
{
    if (!script_.empty()) {
        if (auto *p = std::get_if<std::string>(&script_.front())) {
            c.answerPath = *p;
            script_.pop_front();
            return c.answerPath;
        }
        if (std::holds_alternative<Cancel>(script_.front())) {
            script_.pop_front();
            return std::nullopt;
        }
    }
    c.scripted = false;
    return std::nullopt;
}

std::optional<std::string> ScriptedDialogs::FileCall(Kind kind, const Dialogs::FileRequest &rq)
{
    Call c;
    c.kind = kind;
    c.owner = rq.owner;
    c.title = rq.title;
    c.filter = rq.filter;
    c.filterIndex = rq.filterIndex;
    c.initialDir = rq.initialDir;
    c.fileName = rq.fileName;
    c.defaultExt = rq.defaultExt;
    c.options = rq.options;
    PathAnswer(c);
    Record(c);
    return c.answerPath;
}

std::optional<std::string> ScriptedDialogs::OpenFile(const Dialogs::FileRequest &rq)
{
    return FileCall(Kind::OpenFile, rq);
}

std::optional<std::string> ScriptedDialogs::SaveFile(const Dialogs::FileRequest &rq)
{
    return FileCall(Kind::SaveFile, rq);
}

std::optional<std::string> ScriptedDialogs::BrowseFolder(QWidget *owner, const std::string &title,
                                                         const std::string &initialDir)
{
    Call c;
    c.kind = Kind::BrowseFolder;
    c.owner = owner;
    c.title = title;
    c.initialDir = initialDir;
    PathAnswer(c);
    Record(c);
    return c.answerPath;
}

bool ScriptedDialogs::PrinterSetup(QWidget *owner, QPrinter &printer)
{
    Call c;
    c.kind = Kind::PrinterSetup;
    c.owner = owner;
    c.printer = &printer;
    if (!script_.empty() && std::holds_alternative<bool>(script_.front())) {
        c.answerBool = std::get<bool>(script_.front());
        script_.pop_front();
    } else {
        c.scripted = false;
        c.answerBool = false;
    }
    Record(c);
    return c.answerBool;
}

Dialogs::OpenResult ScriptedDialogs::ShellOpen(const std::string &target)
{
    Call c;
    c.kind = Kind::ShellOpen;
    c.target = target;
    const Dialogs::OpenResult r = OpenWith ? OpenWith(target) : Dialogs::OpenResult(true);
    c.answerBool = r.Opened;
    Record(c);
    return r;
}
