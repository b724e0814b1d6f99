#pragma once
// The dialogs service: message boxes, the file open/save dialogs, the folder
// browser, the printer set-up dialog and the shell's "open". Every window goes
// through Dialogs::Current() (or the convenience functions below), never to
// QMessageBox/QFileDialog/QPrintDialog directly, so tests can install a
// scripted service (platform/ScriptedDialogs.h) that records each call.
//
// Texts (captions, messages, titles, filters) are Windows-1252 byte strings.
// Paths (initial folder, file name, chosen file or folder, local files given
// to ShellOpen) are file-system bytes, as every other path in the program, so
// a chosen file can always be opened again whatever characters its name has.
//
// Everything here is for the interface thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QWidget;
class QPrinter;

namespace Dialogs {

// ---- message boxes ---------------------------------------------------------
enum class Button : unsigned {
    None = 0,
    OK = 1u << 0,
    Cancel = 1u << 1,
    Yes = 1u << 2,
    No = 1u << 3,
    Abort = 1u << 4,
    Retry = 1u << 5,
    Ignore = 1u << 6,
};

// A set of buttons: Button::Yes | Button::No.
class Buttons {
public:
    constexpr Buttons() = default;
    constexpr Buttons(Button b) : bits_(unsigned(b)) {}
    constexpr bool Has(Button b) const { return b != Button::None && (bits_ & unsigned(b)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr unsigned Bits() const { return bits_; }
    constexpr Buttons operator|(Buttons o) const { return FromBits(bits_ | o.bits_); }
    constexpr bool operator==(const Buttons &o) const = default;
    static constexpr Buttons FromBits(unsigned bits)
    {
        Buttons r;
        r.bits_ = bits & 0x7Fu;
        return r;
    }
private:
    unsigned bits_ = 0;
};
constexpr Buttons operator|(Button a, Button b) { return Buttons(a) | Buttons(b); }

// The buttons in the order a message box lays them out and in which the
// first one is the default when none is named: OK, Abort, Retry, Ignore, Yes,
// No, Cancel.
std::vector<Button> ButtonsInOrder(Buttons buttons);
// The button that Enter presses: defaultButton when it is one of the set,
// otherwise the first of the set in the order above; OK for an empty set
// (an empty set shows one OK button).
Button EffectiveDefault(Buttons buttons, Button defaultButton);
const char *ButtonName(Button b);   // "OK", "Cancel", ... ; "None"

enum class Icon {
    None,
    Information,
    Warning,    // the exclamation mark
    Error,      // the stop sign
    Question,
};
const char *IconName(Icon i);

struct MessageBoxRequest {
    QWidget *owner = nullptr;         // nullptr: modal to the whole application
    std::string caption;
    std::string text;
    Buttons buttons = Button::OK;
    Icon icon = Icon::None;
    Button defaultButton = Button::None;   // None: the first button
};

// ---- file and folder dialogs -----------------------------------------------
enum FileOption : unsigned {
    ofNone = 0,
    ofOverwritePrompt = 1u << 0,   // save: ask before replacing an existing file
    ofFileMustExist = 1u << 1,     // open: only existing files are accepted
    ofPathMustExist = 1u << 2,     // the chosen file's folder must exist
    ofHideReadOnly = 1u << 3,      // accepted for callers' sake; there is no read-only box
};

struct FileRequest {
    QWidget *owner = nullptr;
    std::string title;          // empty: "Open" / "Save As"
    // Windows-style filter: "Description|*.ext|Other|*.a;*.b" (see QtFilter).
    std::string filter;
    int filterIndex = 1;        // 1-based: the filter chosen when the dialog opens
    std::string initialDir;     // empty: the current folder
    std::string fileName;       // name (or path) filled in when the dialog opens
    std::string defaultExt;     // without the dot; appended to a typed name without one
    unsigned options = ofNone;  // FileOption bits
};

// The Windows filter converted to Qt's name filters: each pair
// "Description|*.a;*.b" gives "Description (*.a *.b)"; blanks around patterns
// are dropped, an empty pattern list means "*", an incomplete last pair (a
// description with no pattern part) is left out. The real dialog hides the
// appended pattern list, so the user sees the description as written.
std::vector<std::string> QtFilterList(const std::string &windowsFilter);
// The same joined with ";;" as QFileDialog takes them.
std::string QtFilter(const std::string &windowsFilter);

// ---- the shell's "open" -----------------------------------------------------
// What the desktop made of a target: opened, or why not.
struct OpenResult {
    OpenResult(bool opened = true) : Opened(opened) {}
    OpenResult(bool opened, std::string why) : Opened(opened), Why(std::move(why)) {}
    bool Opened;
    // When not opened: why, the end of the sentence "Could not open <name>: "
    // (empty: no program to open it could be started).
    std::string Why;
};

// ---- the service -------------------------------------------------------------
class Service {
public:
    virtual ~Service();
    // Shows the box and returns the button pressed (never Button::None).
    virtual Button MessageBox(const MessageBoxRequest &request) = 0;
    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<std::string> OpenFile(const FileRequest &request) = 0;
    virtual std::optional<std::string> SaveFile(const FileRequest &request) = 0;
    // An existing folder, or nothing when the user cancelled.
    virtual std::optional<std::string> BrowseFolder(QWidget *owner, const std::string &title,
                                                    const std::string &initialDir) = 0;
    // Lets the user choose and set up the printer; true when confirmed (the
    // printer then holds the choice), false when cancelled (unchanged).
    virtual bool PrinterSetup(QWidget *owner, QPrinter &printer) = 0;
    // Opens a URL ("http://...", "mailto:...") or a local file or folder with
    // the desktop's handler; not opened when nothing could open it. The real
    // service starts the desktop's opener and hears its answer (see
    // platform/Opener.h).
    virtual OpenResult ShellOpen(const std::string &target) = 0;
};

// The process-wide service. The real one (Qt dialogs) is made on first use.
Service &Current();
// Installs a service (not owned); nullptr goes back to the real one. Returns
// the previously installed service (nullptr when it was the real one).
Service *SetCurrent(Service *service);

// Installs a service for the lifetime of the object and then restores the
// one that was current before.
class ScopedService {
public:
    explicit ScopedService(Service &service) : previous_(SetCurrent(&service)) {}
    ~ScopedService() { SetCurrent(previous_); }
    ScopedService(const ScopedService &) = delete;
    ScopedService &operator=(const ScopedService &) = delete;
private:
    Service *previous_;
};

// The real service, made anew (the default Current() is one of these).
// With the environment variable MIXDECK_DIALOGS=stderr (for running the
// program without anyone at the screen, e.g. program tests on the offscreen
// platform) it shows nothing: message boxes are written to standard error as
// "MIXDECK message box [caption] text (buttons) -> answer" and answered with
// their default button, file and folder dialogs and the printer dialog are
// written and cancelled, and ShellOpen writes the target and returns false.
Service *NewQtService();

// The application's title: caption of ShowMessage and of the standard
// exception box. "MIXDECK" unless set otherwise.
const std::string &ApplicationTitle();
void SetApplicationTitle(const std::string &title);

// ---- convenience ---------------------------------------------------------
Button MessageBox(QWidget *owner, const std::string &text, const std::string &caption,
                  Buttons buttons = Button::OK, Icon icon = Icon::None,
                  Button defaultButton = Button::None);
// The text with the application title as caption, one OK button, no icon.
void ShowMessage(const std::string &text);
std::optional<std::string> OpenFile(const FileRequest &request);
std::optional<std::string> SaveFile(const FileRequest &request);
std::optional<std::string> BrowseFolder(QWidget *owner, const std::string &title,
                                        const std::string &initialDir);
bool PrinterSetup(QWidget *owner, QPrinter &printer);
// Opens the target through the service. When it cannot be opened (a local
// file or folder that does not exist, no program to open it, an opener that
// answers that it could not) the user is told in an error box naming it and
// why, and the answer is false. The real service waits up to about a second
// for the opener's answer, the windows painting meanwhile.
bool ShellOpen(const std::string &target);
// The error box's text: "Could not open <name>: <why>", the name being the
// local path or the address without its password.
std::string ShellOpenFailure(const std::string &target, const std::string &why);

// The URL ShellOpen hands to the desktop: a target that starts with a scheme
// ("http:", "mailto:", "file:", ...) as it stands, anything else as a local
// path made absolute ("file:///..."), percent-encoded.
std::string ShellUrl(const std::string &target);

} // namespace Dialogs
