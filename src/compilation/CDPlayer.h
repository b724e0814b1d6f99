#pragma once
// The Windows CD Player's disc file "cdPlayer.ini": one section per disc,
// named by the disc's identifier, with "artist", "title", "numtracks" and
// the track titles under "0", "1", ... The main window imports it into the
// catalogue; the catalogue editing window writes the catalogue out in its
// form.
#include <string>

class TCustomIniFile;
class TMemIniFile;
class TMainForm;

namespace cdplayer {

inline constexpr const char *kFileName = "cdPlayer.ini";
inline constexpr const char *kImportTitle = "Import...";
inline constexpr const char *kImportFilter = "Windows CD Player files (*.ini)|*.ini";

// Keys of the CD Player file.
inline constexpr const char *kArtist = "artist";
inline constexpr const char *kTitle = "title";
inline constexpr const char *kNumTracks = "numtracks";

// The identifier with "0" put in front up to 8 characters; 8 or more
// characters are given back unchanged.
std::string PadPID(const std::string &id);
// The catalogue key without its leading "0" characters. A key of zeros only
// gives "0", so no disc is ever written under an empty section name.
std::string StripLeadingZeros(const std::string &key);

// The default title the grabbing window gives track i (from 0): "Track 01"...
std::string DefaultTrackTitle(int i);

// Merges the CD Player discs into the catalogue object (nothing is written
// to a file): a disc new to the catalogue gets artist, title, track count,
// "00:00" times and its titles; a known disc only gets titles for tracks
// whose title is missing or still the default one.
void MergeInto(TCustomIniFile &player, TCustomIniFile &catalogue);
// Reads the CD Player file and the catalogue file, merges and writes the
// catalogue back. A file that cannot be read raises "Cannot open file %s",
// a catalogue that cannot be written "Cannot create file %s"; the catalogue
// is only written once everything was read.
void ImportFile(const std::string &playerFile, const std::string &catalogueFile);

// Replaces the contents of the CD Player object by the catalogue's discs:
// every old section goes, each disc is written under its key without
// leading zeros with "artist", "title", "numtracks" and "0".."n-1".
void FillFromCatalogue(TCustomIniFile &catalogue, TMemIniFile &player);
// Reads both files, builds the new CD Player file in memory and replaces
// the old one in one atomic step: a failure leaves the old file as it was.
void ExportFile(const std::string &catalogueFile, const std::string &playerFile);

// The folder the CD Player file dialogs open in (the user's home folder);
// empty when there is none.
std::string WindowsFolder();

// The main window's import command: the file dialog, the compilation
// warning, the import, and the discarding of the compilation (Print
// disabled as well).
void ImportINIMenuItemClick(TMainForm &form);

} // namespace cdplayer
