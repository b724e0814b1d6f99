// The what's-new and agreement dialogs, the result post and the values a
// run remembers from one run to the next.
#include "webupdate/WUpdate.h"

#include "platform/Classes.h"
#include "platform/Cp1252.h"
#include "platform/FileIO.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "webupdate/WuAddress.h"
#include "webupdate/WuDates.h"

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <cmath>
#include <exception>
#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int64_t MaxText = 1 << 20;

// The dialog form with its memo: 400 by 400, centred, a caption and only
// the system menu.
struct TextForm {
    QDialog form;
    QPlainTextEdit *memo;
    TextForm(const std::string &caption, const std::string &text)
    {
        form.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
        form.setWindowTitle(FromAnsi(caption));
        form.setFixedSize(400, 400);
        if (QScreen *screen = QGuiApplication::primaryScreen())
            form.move(screen->geometry().center() - form.rect().center());
        memo = new QPlainTextEdit(&form);
        memo->setObjectName("Memo");
        memo->setGeometry(10, 10, form.width() - 20, form.height() - 60);
        memo->setPlainText(FromAnsi(text));
        memo->setReadOnly(true);
    }
    QPushButton *Button(const std::string &caption, const char *name, int left)
    {
        auto *b = new QPushButton(FromAnsi(caption), &form);
        b->setObjectName(name);
        b->setGeometry(left, Top(), ButtonWidth, ButtonHeight);
        return b;
    }
    int Top() const { return memo->y() + memo->height() + 10; }
    int Right() const { return memo->x() + memo->width(); }
};

void ToList(const std::string &text, TStringList &list)
{
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            list.Add(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        list.Add(line);
}

size_t PostWrite(char *data, size_t size, size_t count, void *user)
{
    auto *out = static_cast<std::pair<std::string *, bool> *>(user);
    const size_t n = size * count;
    if (out->first->size() + n > TWebUpdate::MaxResponse) {
        out->second = true;
        return 0;
    }
    out->first->append(data, n);
    return n;
}

// The host's windows work while the post goes on; a failure there ends the
// post and is thrown on once libcurl has returned.
struct PostPump {
    const std::function<void()> *Pump;
    std::exception_ptr Thrown;
};

int PostProgress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *pump = static_cast<PostPump *>(user);
    try {
        if (*pump->Pump)
            (*pump->Pump)();
    } catch (...) {
        pump->Thrown = std::current_exception();
        return 1;
    }
    return 0;
}

} // namespace

std::string TWebUpdate::PostAddress(const std::string &Server, const std::string &Action)
{
    // A server named with its scheme keeps it; otherwise https, and plain
    // http for this machine (for testing).
    const std::string path = (Action.empty() || Action[0] != '/' ? "/" : "") + Action;
    const std::string lower = Rtl::LowerCase(Server);
    if (lower.rfind("https://", 0) == 0 || lower.rfind("http://", 0) == 0)
        return Server + path;
    std::string host = Server;
    if (!host.empty() && host[0] == '[')
        host = host.substr(0, host.find(']') + 1);
    else
        host = host.substr(0, host.find(':'));
    return (wuaddress::IsLoopbackHost(host) ? "http://" : "https://") + Server + path;
}

// The text of a downloaded file for a dialog, its temporary copy deleted.
// False when no dialog is to be shown: the text could not be downloaded
// (which counts as accepted), or it went to the host's event.
bool TWebUpdate::DialogText(TWebUpdateConnection *Connection, const std::string &File,
                            const TWebUpdateTextDownloaded &Event, std::string &Text)
{
    const std::string temp = GetTempDirectory();
    if (temp.empty() || !URLGetFile(Connection, File, temp, false))
        return false;
    const std::string copy = temp + URLtoFile(File);
    struct stat st;
    const bool small = stat(copy.c_str(), &st) == 0 && st.st_size <= MaxText;
    const bool read = small && fileio::ReadFile(copy, Text);
    unlink(copy.c_str());
    if (!read)
        throw std::runtime_error("Cannot load " + File);
    if (!Event)
        return true;
    TStringList list;
    ToList(Text, list);
    Event(this, list);
    return false;
}

int TWebUpdate::WhatsNewDialog(TWebUpdateConnection *Connection, const std::string &File, const std::string &Caption,
                               const std::string &OkBtn, const std::string &CancelBtn)
{
    std::string text;
    if (!DialogText(Connection, File, OnDownloadedWhatsNew, text))
        return 1;
    TextForm f(Caption, text);
    QPushButton *ok = f.Button(OkBtn, "OkButton", f.Right() - 2 * ButtonWidth - 10);
    QPushButton *cancel = f.Button(CancelBtn, "CancelButton", f.Right() - ButtonWidth);
    QObject::connect(ok, &QPushButton::clicked, &f.form, [&f] { f.form.done(1); });
    QObject::connect(cancel, &QPushButton::clicked, &f.form, [&f] { f.form.done(2); });
    QWidget::setTabOrder(ok, cancel);
    ok->setFocus();
    const int answer = f.form.exec();
    return answer == 1 ? 1 : 2;
}

int TWebUpdate::EULADialog(TWebUpdateConnection *Connection, const std::string &File, const std::string &Caption,
                           const std::string &OkBtn, const std::string &Accept, const std::string &NotAccept)
{
    std::string text;
    if (!DialogText(Connection, File, OnDownloadedEULA, text))
        return 1;
    TextForm f(Caption, text);
    QPushButton *ok = f.Button(OkBtn, "OkButton", f.Right() - ButtonWidth);
    auto *accept = new QRadioButton(FromAnsi(Accept), &f.form);
    accept->setObjectName("AcceptButton");
    accept->adjustSize();
    accept->move(10, f.Top());
    auto *notAccept = new QRadioButton(FromAnsi(NotAccept), &f.form);
    notAccept->setObjectName("NotAcceptButton");
    notAccept->adjustSize();
    notAccept->move(accept->width() + 20, f.Top());
    QObject::connect(ok, &QPushButton::clicked, &f.form, [&f] { f.form.done(1); });
    QWidget::setTabOrder(ok, accept);
    QWidget::setTabOrder(accept, notAccept);
    ok->setFocus();
    const int answer = f.form.exec();
    if (!accept->isChecked())
        return 2;
    return answer == 1 ? 1 : 2;
}

void TWebUpdate::DoPostUpdateInfo()
{
    TPostUpdateInfo &p = PostUpdateInfo();
    if (p.Server.empty() || p.Action.empty())
        return;
    // The server may name its port ("host:port"). The post goes by the rules
    // of every other transfer: over https, plain http only to this machine.
    const std::string url = PostAddress(p.Server, p.Action);
    std::string why;
    if (!wuaddress::Allowed(url, why)) {
        SetError(CURLE_UNSUPPORTED_PROTOCOL, why);
        Error();
        DoStatus(wustatus::PostResourceFailed, "", 17, 5);
        return;
    }
    CURL *h = curl_easy_init();
    if (!h) {
        DoStatus(wustatus::PostConnectFailed, "", 16, 5);
        return;
    }
    std::string response;
    std::pair<std::string *, bool> sink(&response, false);
    struct curl_slist *headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    wuaddress::Restrict(h, url);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "TWebUpdate");
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, p.Data.data());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(p.Data.size()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &PostWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &PostProgress);
    PostPump pump{&ProcessMessages, nullptr};
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &pump);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(ConnectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, long((StallTimeoutMs + 999) / 1000));
    // An answer announced larger than it may be is refused before it comes.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(MaxResponse));
    p.Response.clear();
    const CURLcode rc = curl_easy_perform(h);
    const std::string refusal = wuaddress::RefusalText(int(rc), errorText);
    long status = 0;
    char *redirect = nullptr;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &redirect);
    const std::string redirectTo = redirect ? redirect : "";
    const std::string detail = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(rc));
    // Released before the statuses, whose handlers may fail.
    curl_slist_free_all(headers);
    curl_easy_cleanup(h);
    if (pump.Thrown)
        std::rethrow_exception(pump.Thrown);
    // Every failure is told with its cause, then with the post's status; a
    // post that failed leaves no answer to judge.
    auto failed = [&](int code, const std::string &why, int id, int32_t statusCode) {
        SetError(code, why + ": " + url);
        Error();
        DoStatus(id, "", statusCode, 5);
    };
    if (!refusal.empty()) {
        // A certificate or a secure connection refused.
        failed(int(rc), refusal, wustatus::PostConnectFailed, 16);
    } else if (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST || rc == CURLE_OPERATION_TIMEDOUT) {
        failed(int(rc), "Cannot connect to the server for the post (" + detail + ")", wustatus::PostConnectFailed, 16);
    } else if (rc == CURLE_URL_MALFORMAT || rc == CURLE_UNSUPPORTED_PROTOCOL) {
        failed(int(rc), "The post's address cannot be used (" + detail + ")", wustatus::PostResourceFailed, 17);
    } else if (rc == CURLE_FILESIZE_EXCEEDED) {
        failed(int(rc), "The server announced an answer to the post of more than " + std::to_string(MaxResponse) +
                            " bytes; it was refused",
               wustatus::PostResourceFailed, 17);
    } else if (sink.second) {
        failed(int(rc), "The server's answer to the post came to more than " + std::to_string(MaxResponse) +
                            " bytes; it was refused",
               wustatus::PostResourceFailed, 17);
    } else if (rc != CURLE_OK) {
        failed(int(rc), "The post failed (" + detail + ")", wustatus::PostResourceFailed, 17);
    } else if (status >= 300 && status < 400) {
        // A post is not sent on to another address, on this host or any other.
        failed(int(status),
               "The server answered the post with a redirection" + (redirectTo.empty() ? "" : " to " + redirectTo) +
                   ", which was refused",
               wustatus::PostResourceFailed, 17);
    } else if (status >= 400) {
        failed(int(status), "The server answered the post with HTTP status " + std::to_string(status),
               wustatus::PostResourceFailed, 17);
    } else {
        p.Response = response;
    }
}

// ---- remembered values ----------------------------------------------------

namespace {

std::string Place(const TLastURLEntry &e)
{
    return e.Key + "\\" + e.Section;
}

bool HasControl(const std::string &s)
{
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

} // namespace

std::string TWebUpdate::URLGet()
{
    const TLastURLEntry &e = LastURLEntry();
    if (e.Key.empty() || e.Section.empty() || !e.Save)
        return std::string();
    TIniFile ini(RegistryFile);
    return ini.ReadString(Place(e), "LastURL", "");
}

void TWebUpdate::URLPut(const std::string &Url)
{
    const TLastURLEntry &e = LastURLEntry();
    if (e.Key.empty() || e.Section.empty() || !e.Save || HasControl(Url))
        return;
    TIniFile ini(RegistryFile);
    ini.WriteString(Place(e), "LastURL", Url);
}

double TWebUpdate::UpdateDateGet()
{
    double result = wudates::BaseDate();
    const TLastURLEntry &e = LastURLEntry();
    if (e.Key.empty() || e.Section.empty())
        return result;
    TIniFile ini(RegistryFile);
    const std::string date = ini.ReadString(Place(e), "LastDate", "");
    if (!date.empty()) {
        double d = 0;
        if (!wudates::ParseStoredDate(date, d))
            return result;
        result = d;
    }
    const std::string time = ini.ReadString(Place(e), "LastTime", "");
    double t = 0;
    if (!time.empty() && wudates::ParseStoredTime(time, t))
        result += t;
    return result;
}

void TWebUpdate::UpdateDatePut(double DateTime)
{
    const TLastURLEntry &e = LastURLEntry();
    if (e.Key.empty() || e.Section.empty() || !e.Save)
        return;
    TIniFile ini(RegistryFile);
    ini.WriteString(Place(e), "LastDate", wudates::StoredDate(DateTime));
    double whole;
    if (std::modf(DateTime, &whole) != 0)
        ini.WriteString(Place(e), "LastTime", wudates::StoredTime(DateTime));
}
