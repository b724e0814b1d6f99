#pragma once
// The dialogs service for tests: records every call and answers from a
// script instead of showing anything.
//
//   ScriptedDialogs dialogs;
//   Dialogs::ScopedService use(dialogs);   // current until the end of the scope
//   dialogs.AnswerButton(Dialogs::Button::Yes).AnswerPath("/tmp/x.cmp");
//   ... code under test ...
//   EXPECT_EQ(dialogs.UnscriptedCount(), 0);
//
// Answers are taken in order, one per call that needs one: a button for a
// message box, a path or a cancel for the file and folder dialogs, true or
// false for the printer dialog. ShellOpen needs no answer: it returns true,
// or what OpenWith answers when set (a test can hand opening to the real
// service there).
// A call whose next answer is missing or of another kind gets a neutral
// answer and is marked unscripted (the queue is then left as it was):
//   message box -> its default button (what Enter would press),
//   file/folder dialog -> cancelled, printer dialog -> cancelled.
#include "platform/Dialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class ScriptedDialogs : public Dialogs::Service {
public:
    enum class Kind { MessageBox, OpenFile, SaveFile, BrowseFolder, PrinterSetup, ShellOpen };

    struct Call {
        Kind kind = Kind::MessageBox;
        QWidget *owner = nullptr;
        // message box
        std::string caption;
        std::string text;
        Dialogs::Buttons buttons;
        Dialogs::Icon icon = Dialogs::Icon::None;
        Dialogs::Button defaultButton = Dialogs::Button::None;
        // file and folder dialogs
        std::string title;
        std::string filter;
        int filterIndex = 0;
        std::string initialDir;
        std::string fileName;
        std::string defaultExt;
        unsigned options = 0;
        // printer dialog
        QPrinter *printer = nullptr;
        // shell open
        std::string target;
        // what was answered
        bool scripted = true;
        Dialogs::Button answerButton = Dialogs::Button::None;
        std::optional<std::string> answerPath;
        bool answerBool = false;
    };

    // Every call in the order made.
    std::vector<Call> Calls;
    // Called after a call is recorded and answered, while the "dialog" is
    // up (a test can look at the window state at that moment).
    std::function<void(const Call &)> OnCall;
    // What ShellOpen answers for a target; unset: opened.
    std::function<Dialogs::OpenResult(const std::string &)> OpenWith;

    ScriptedDialogs &AnswerButton(Dialogs::Button button);
    ScriptedDialogs &AnswerPath(std::string path);   // file or folder chosen
    ScriptedDialogs &AnswerCancel();                  // file or folder dialog cancelled
    ScriptedDialogs &AnswerPrinter(bool accepted);

    size_t PendingAnswers() const { return script_.size(); }
    int UnscriptedCount() const;
    std::vector<Call> CallsOf(Kind kind) const;
    // The message boxes shown, in order.
    std::vector<Call> MessageBoxes() const { return CallsOf(Kind::MessageBox); }
    // Forgets calls and remaining answers.
    void Reset();

    static const char *KindName(Kind kind);

    // Dialogs::Service
    Dialogs::Button MessageBox(const Dialogs::MessageBoxRequest &request) override;
    std::optional<std::string> OpenFile(const Dialogs::FileRequest &request) override;
    std::optional<std::string> SaveFile(const Dialogs::FileRequest &request) override;
    std::optional<std::string> BrowseFolder(QWidget *owner, const std::string &title,
                                            const std::string &initialDir) override;
    bool PrinterSetup(QWidget *owner, QPrinter &printer) override;
    Dialogs::OpenResult ShellOpen(const std::string &target) override;

private:
    struct Cancel {};
    using Answer = std::variant<Dialogs::Button, std::string, Cancel, bool>;
    std::deque<Answer> script_;

    std::optional<std::string> FileCall(Kind kind, const Dialogs::FileRequest &request);
    std::optional<std::string> PathAnswer(Call &call);
    void Record(const Call &call);
};
