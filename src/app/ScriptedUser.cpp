#include "app/ScriptedUser.h"

#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The longest line taken (a longer one is cut there), and the most lines
// that wait (one more is refused, and said so).
constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxWaiting = 1000;

void Say(const std::string &text)
{
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

std::string ButtonList(Dialogs::Buttons set)
{
    std::string r;
    for (Dialogs::Button b : Dialogs::ButtonsInOrder(set))
        r += (r.empty() ? "" : ",") + std::string(Dialogs::ButtonName(b));
    return r;
}

QWidget *FindWindow(const std::string &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName().toStdString() == name)
            return w;
    return nullptr;
}

} // namespace

struct ScriptedUser::State {
    std::unique_ptr<QSocketNotifier> notifier;
    std::string partial;              // bytes of a line still without its end
    std::deque<std::string> lines;    // whole lines not yet taken
    bool ended = false;               // the input has ended
    bool ready = false;               // the main window is up
    std::vector<QEventLoop *> boxes;  // the boxes waiting for an answer, innermost last
    QObject context;                  // the owner of the queued calls

    void Read()
    {
        char buf[4096];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n <= 0) {
            ended = true;
            notifier->setEnabled(false);
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\n') {
                if (lines.size() < kMaxWaiting)
                    lines.push_back(partial);
                else
                    Say("MIXDECK script " + partial + " -> refused, too many lines wait\n");
                partial.clear();
            } else if (partial.size() < kMaxLine) {
                partial += buf[i];
            }
        }
        Kick();
    }

    // Hands the next line on: to the box that waits, or to the commands.
    void Kick()
    {
        if (!boxes.empty())
            boxes.back()->quit();
        else if (ready && !lines.empty())
            QTimer::singleShot(0, &context, [this] { RunNext(); });
    }

    // The answer of a box: false when the input ended first.
    bool TakeAnswer(std::string &line)
    {
        while (lines.empty() && !ended) {
            QEventLoop loop;
            boxes.push_back(&loop);
            loop.exec();
            boxes.pop_back();
        }
        const bool got = !lines.empty();
        if (got) {
            line = lines.front();
            lines.pop_front();
        }
        // What came meanwhile goes on: to an outer box or to the commands.
        if (!lines.empty() || ended)
            Kick();
        return got;
    }

    void RunNext()
    {
        if (!boxes.empty() || !ready || lines.empty())
            return;
        const std::string line = lines.front();
        lines.pop_front();
        // The next line has its turn even while this one's modal window is
        // open.
        if (!lines.empty())
            QTimer::singleShot(0, &context, [this] { RunNext(); });
        std::string result;
        HandlerGuard::RunGuarded([&] { result = Run(line); });
        Say("MIXDECK script " + line + " -> " + (result.empty() ? "failed" : result) + "\n");
    }

    static std::string Run(const std::string &line)
    {
        const size_t verbEnd = line.find(' ');
        const std::string verb = line.substr(0, verbEnd);
        const std::string rest = verbEnd == std::string::npos ? std::string() : line.substr(verbEnd + 1);
        const size_t targetEnd = rest.find(' ');
        const std::string target = rest.substr(0, targetEnd);
        const std::string text = targetEnd == std::string::npos ? std::string() : rest.substr(targetEnd + 1);
        const size_t dot = target.find('.');
        QWidget *window = dot == std::string::npos ? nullptr : FindWindow(target.substr(0, dot));
        if (!window)
            return "not found";
        const QString name = QString::fromStdString(target.substr(dot + 1));
        QAction *action = window->findChild<QAction *>(name);
        QWidget *control = window->findChild<QWidget *>(name);
        if (verb == "click") {
            if (action) {
                if (!action->isEnabled())
                    return "disabled";
                action->trigger();
                return "done";
            }
            auto *button = qobject_cast<QAbstractButton *>(control);
            if (!button)
                return "not found";
            if (!button->isEnabled())
                return "disabled";
            button->click();
            return "done";
        }
        if (verb == "set") {
            auto *edit = qobject_cast<QLineEdit *>(control);
            if (!edit)
                return "not found";
            edit->setText(FromAnsi(text));
            return "done";
        }
        if (verb == "show") {
            if (auto *box = qobject_cast<QComboBox *>(control)) {
                std::string items;
                for (int i = 0; i < box->count(); ++i)
                    items += (i ? " | " : "") + ToAnsi(box->itemText(i));
                return items.empty() ? "(empty)" : items;
            }
            QString shown;
            if (auto *edit = qobject_cast<QLineEdit *>(control))
                shown = edit->text();
            else if (auto *label = qobject_cast<QLabel *>(control))
                shown = label->text();
            else if (auto *button = qobject_cast<QAbstractButton *>(control))
                shown = button->text();
            else
                return "not found";
            return shown.isEmpty() ? "(empty)" : ToAnsi(shown);
        }
        return "unknown";
    }
};

namespace {

// The message boxes wait for their answer; everything else is as with
// MIXDECK_DIALOGS=stderr.
class AnsweredBoxes : public Dialogs::Service {
public:
    explicit AnsweredBoxes(ScriptedUser::State &state) : state_(state), plain_(Dialogs::NewQtService()) {}

    Dialogs::Button MessageBox(const Dialogs::MessageBoxRequest &rq) override
    {
        const Dialogs::Buttons set = rq.buttons.Empty() ? Dialogs::Buttons(Dialogs::Button::OK) : rq.buttons;
        Dialogs::Button answer = Dialogs::EffectiveDefault(set, rq.defaultButton);
        Say("MIXDECK message box [" + rq.caption + "] " + rq.text + " (" + ButtonList(set) + ") -> ");
        std::string line;
        if (state_.TakeAnswer(line))
            for (Dialogs::Button b : Dialogs::ButtonsInOrder(set))
                if (line == Dialogs::ButtonName(b))
                    answer = b;
        Say(std::string(Dialogs::ButtonName(answer)) + "\n");
        return answer;
    }
    std::optional<std::string> OpenFile(const Dialogs::FileRequest &rq) override { return plain_->OpenFile(rq); }
    std::optional<std::string> SaveFile(const Dialogs::FileRequest &rq) override { return plain_->SaveFile(rq); }
    std::optional<std::string> BrowseFolder(QWidget *owner, const std::string &title,
                                            const std::string &initialDir) override
    {
        return plain_->BrowseFolder(owner, title, initialDir);
    }
    bool PrinterSetup(QWidget *owner, QPrinter &printer) override { return plain_->PrinterSetup(owner, printer); }
    Dialogs::OpenResult ShellOpen(const std::string &target) override { return plain_->ShellOpen(target); }

private:
    ScriptedUser::State &state_;
    std::unique_ptr<Dialogs::Service> plain_;
};

} // namespace

std::unique_ptr<ScriptedUser> ScriptedUser::FromEnvironment()
{
    const char *mode = std::getenv("MIXDECK_SCRIPT");
    if (!mode || std::strcmp(mode, "stdin") != 0)
        return nullptr;
    return std::unique_ptr<ScriptedUser>(new ScriptedUser);
}

ScriptedUser::ScriptedUser() : state_(std::make_unique<State>())
{
    state_->notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(state_->notifier.get(), &QSocketNotifier::activated, &state_->context,
                     [s = state_.get()] { s->Read(); });
    boxes_ = std::make_unique<AnsweredBoxes>(*state_);
    Dialogs::SetCurrent(boxes_.get());
}

ScriptedUser::~ScriptedUser() { Dialogs::SetCurrent(nullptr); }

void ScriptedUser::Ready()
{
    state_->ready = true;
    Say("MIXDECK script ready " + std::to_string(getpid()) + "\n");
    state_->Kick();
}
