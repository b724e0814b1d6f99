#include "compilation/CDPlayer.h"

#include "compilation/Catalogue.h"
#include "compilation/Main.h"
#include "compilation/TapeModel.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "ui_Main.h"

#include <QMenu>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace cdplayer {

namespace {

const char *const kTime = "00:00";

// The track count of a CD Player section, bounded like every per-track table
// of the program, so a hostile count can neither run past them nor loop for
// ever.
int numTracks(TCustomIniFile &player, const std::string &section)
{
    const int n = player.ReadInteger(section, kNumTracks, 0);
    if (n < 0)
        return 0;
    return n > catalogue::kMaxTracks ? catalogue::kMaxTracks : n;
}

// A catalogue section counts as present when it holds at least one key.
bool discKnown(TCustomIniFile &catalogue, const std::string &pid)
{
    TStringList keys;
    catalogue.ReadSection(pid, keys);
    return keys.Count() > 0;
}

} // namespace

std::string PadPID(const std::string &id)
{
    if (id.size() >= 8)
        return id;
    return std::string(8 - id.size(), '0') + id;
}

std::string StripLeadingZeros(const std::string &key)
{
    const size_t first = key.find_first_not_of('0');
    if (first == std::string::npos)
        return key.empty() ? key : "0";
    return key.substr(first);
}

std::string DefaultTrackTitle(int i) { return "Track " + tape::LeadingZero(i + 1); }

void MergeInto(TCustomIniFile &player, TCustomIniFile &catalogue)
{
    TStringList sections;
    player.ReadSections(sections);
    for (int s = 0; s < sections.Count(); ++s) {
        const std::string id = sections[s];
        const std::string pid = PadPID(id);
        if (!discKnown(catalogue, pid)) {
            const std::string artist = player.ReadString(id, kArtist, catalogue::kUnknown);
            const std::string title = player.ReadString(id, kTitle, catalogue::kUnknown);
            const int n = numTracks(player, id);
            catalogue.WriteString(pid, catalogue::kArtist, artist);
            catalogue.WriteString(pid, catalogue::kTitle, title);
            catalogue.WriteInteger(pid, catalogue::kTotalTracks, n);
            catalogue.WriteString(pid, catalogue::kTpt, kTime);
            for (int i = 0; i < n; ++i) {
                catalogue.WriteString(pid, catalogue::TrackKey(i),
                                      player.ReadString(id, Rtl::IntToStr(i), catalogue::kUnknown));
                catalogue.WriteString(pid, catalogue::TimeKey(i), kTime);
            }
        } else {
            const int n = numTracks(player, id);
            for (int i = 0; i < n; ++i) {
                const std::string key = catalogue::TrackKey(i);
                if (!catalogue.ValueExists(pid, key) ||
                    catalogue.ReadString(pid, key, std::string()) == DefaultTrackTitle(i))
                    catalogue.WriteString(pid, key,
                                          player.ReadString(id, Rtl::IntToStr(i), catalogue::kUnknown));
            }
        }
    }
}

void ImportFile(const std::string &playerFile, const std::string &catalogueFile)
{
    TMemIniFile player(playerFile);
    std::unique_ptr<TMemIniFile> cat = catalogue::Open(catalogueFile);
    MergeInto(player, *cat);
    cat->UpdateFile();
}

void FillFromCatalogue(TCustomIniFile &catalogue, TMemIniFile &player)
{
    player.Clear();
    TStringList sections;
    catalogue.ReadSections(sections);
    for (int s = 0; s < sections.Count(); ++s) {
        const std::string pid = sections[s];
        const std::string id = StripLeadingZeros(pid);
        if (id.empty())
            continue;  // an empty section name: nothing to write it under
        const int n = catalogue::ReadTrackCount(catalogue, pid);
        player.WriteString(id, kArtist, catalogue.ReadString(pid, catalogue::kArtist, catalogue::kUnknown));
        player.WriteString(id, kTitle, catalogue.ReadString(pid, catalogue::kTitle, catalogue::kUnknown));
        player.WriteInteger(id, kNumTracks, n);
        for (int i = 0; i < n; ++i)
            player.WriteString(id, Rtl::IntToStr(i),
                               catalogue.ReadString(pid, catalogue::TrackKey(i), catalogue::kUnknown));
    }
}

void ExportFile(const std::string &catalogueFile, const std::string &playerFile)
{
    // The old file is read (as the CD Player's own object would be) but
    // only replaced once the new contents are complete.
    TMemIniFile player(playerFile);
    std::unique_ptr<TMemIniFile> cat = catalogue::Open(catalogueFile);
    FillFromCatalogue(*cat, player);
    player.UpdateFile();
}

std::string WindowsFolder()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return Rtl::DirectoryExists(home) ? std::string(home) : std::string();
    if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir)
        return Rtl::DirectoryExists(pw->pw_dir) ? std::string(pw->pw_dir) : std::string();
    return {};
}

void ImportINIMenuItemClick(TMainForm &form)
{
    const std::string folder = WindowsFolder();
    if (folder.empty())
        return;
    Dialogs::FileRequest request;
    request.owner = &form;
    request.title = kImportTitle;
    request.filter = kImportFilter;
    request.initialDir = folder;
    request.fileName = kFileName;
    request.options = Dialogs::ofHideReadOnly | Dialogs::ofPathMustExist | Dialogs::ofFileMustExist;
    const std::optional<std::string> chosen = Dialogs::OpenFile(request);
    if (!chosen)
        return;
    if (form.CompilationExists() && form.ConfirmLoseCompilation(&form) != Dialogs::Button::Yes)
        return;
    ImportFile(*chosen, form.CatalogueFile);
    form.DiscardCompilation();
    form.ui->PrintMenuItem->menuAction()->setEnabled(false);
}

} // namespace cdplayer
