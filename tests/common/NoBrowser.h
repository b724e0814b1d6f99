#pragma once
// A desktop with an opener and nothing behind it, as on a newcomer's
// machine that has only what scripts/deps installs: xdg-open (xdg-utils)
// and no web browser. For the life of the object this process's environment
// says so, and so does the environment of every opener it starts: no display
// and no desktop session (xdg-open takes its generic way), BROWSER empty (its
// own list of browsers is tried), empty handler folders, and PATH a folder
// of links to the programs of the old PATH, leaving out every browser and
// other opener xdg-open may try, so that one installed on this machine is
// not found either. Browser() then puts a browser of the test's own there.
#include "common/TestUtil.h"

#include <cstdlib>
#include <dirent.h>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace testutil {

class NoBrowser {
public:
    NoBrowser()
    {
        const char *unset[] = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
                               "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID",
                               "LXQT_SESSION_CONFIG", "DBUS_SESSION_BUS_ADDRESS", "DE"};
        for (const char *name : unset)
            change(name, std::nullopt);
        change("BROWSER", std::string());
        const std::string empty = dir_.file("empty");
        mkdir(empty.c_str(), 0700);
        for (const char *name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
            change(name, empty);
        const std::string bin = dir_.file("bin");
        mkdir(bin.c_str(), 0700);
        const char *path = std::getenv("PATH");
        std::istringstream dirs(path ? path : "/usr/bin:/bin");
        std::set<std::string> linked;
        for (std::string d; std::getline(dirs, d, ':');) {
            DIR *in = d.empty() ? nullptr : opendir(d.c_str());
            if (!in)
                continue;
            while (dirent *e = readdir(in)) {
                const std::string name = e->d_name;
                const std::string file = d + "/" + name;
                if (name[0] == '.' || Opener(name) || !linked.insert(name).second || access(file.c_str(), X_OK) != 0)
                    continue;
                if (symlink(file.c_str(), (bin + "/" + name).c_str()) != 0)
                    linked.erase(name);
            }
            closedir(in);
        }
        change("PATH", bin);
    }
    ~NoBrowser()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }
    NoBrowser(const NoBrowser &) = delete;
    NoBrowser &operator=(const NoBrowser &) = delete;

    // A browser of the test's own: a shell script with this body, named in
    // BROWSER (xdg-open runs it with the address and waits for it).
    void Browser(const std::string &body)
    {
        const std::string script = dir_.file("browser");
        writeFile(script, "#!/bin/sh\n" + body + "\n");
        chmod(script.c_str(), 0700);
        setenv("BROWSER", script.c_str(), 1);
    }
    // A folder of the test's own that goes with the object.
    const TempDir &Dir() const { return dir_; }

    // The browsers, and the other programs xdg-open may hand an address or
    // file to, that a machine may have.
    static bool Opener(const std::string &name)
    {
        static const std::set<std::string> openers = {
            "www-browser", "x-www-browser", "gnome-www-browser", "sensible-browser", "links", "links2", "elinks",
            "lynx", "w3m", "firefox", "firefox-esr", "iceweasel", "seamonkey", "mozilla", "epiphany",
            "epiphany-browser", "konqueror", "chromium", "chromium-browser", "google-chrome", "google-chrome-stable",
            "run-mailcap", "mimeopen", "see", "gio", "gvfs-open", "gnome-open", "kde-open", "kde-open5", "kfmclient",
            "exo-open", "pcmanfm", "enlightenment_open", "mate-open", "dde-open", "open"};
        return openers.count(name) != 0;
    }

private:
    void change(const char *name, const std::optional<std::string> &value)
    {
        const char *old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    TempDir dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace testutil
