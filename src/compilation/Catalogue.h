#pragma once
// The CD catalogue "MIXDECK.ini": one section per disc, named by its PID.
// Every reader and writer opens the whole file into a TMemIniFile, works on
// it and, when it changed anything, writes it back with one update.
#include "platform/IniFiles.h"

#include <memory>
#include <string>
#include <vector>

namespace catalogue {

// Keys of a disc section; track keys carry the track index (from 0).
inline constexpr const char *kArtist = "artist";
inline constexpr const char *kTitle = "title";
inline constexpr const char *kTotalTracks = "totaltracks";
inline constexpr const char *kRevision = "revision";
inline constexpr const char *kModified = "modified";
inline constexpr const char *kTpt = "tpt";
inline constexpr const char *kCategory = "category";
inline constexpr const char *kCoverImg = "coverimg";
inline constexpr const char *kStretchCover = "stretchcover";
inline constexpr const char *kExtd = "extd";
std::string TrackKey(int i);  // "track" + i
std::string TimeKey(int i);   // "time" + i
std::string ExttKey(int i);   // "extt" + i

// What a missing artist, title, time or track title reads as in the panes.
inline constexpr const char *kUnknown = "Unknown";

// A disc has at most this many tracks: every per-track table of the windows
// has this size.
inline constexpr int kMaxTracks = 100;

// Messages of the windows around catalogue work.
inline constexpr const char *kErrorOpening = "Error opening MIXDECK.ini";
inline constexpr const char *kErrorReading = "Error reading MIXDECK.ini";
inline constexpr const char *kErrorSaving = "Error saving MIXDECK.ini";
inline constexpr const char *kErrorReadingQueue = "Error reading QUEUE.ini or MIXDECK.ini";

// Opens the catalogue whole; a missing file is an empty catalogue. A file
// that exists but cannot be read raises EFOpenError "Cannot open file <name>".
std::unique_ptr<TMemIniFile> Open(const std::string &path);

// "totaltracks" of the section, bounded to 0..kMaxTracks so that no reader
// runs past its track tables or loops for ever on a hostile count.
int ReadTrackCount(TCustomIniFile &ini, const std::string &pid);

// Extended texts (remarks on a disc or a track) are stored as one value:
// lines joined by the two characters "\n", tabs written as "\t" and every
// backslash of the text doubled, so that a text such as C:\new comes back
// unchanged. Values written before backslashes were doubled read as before.
std::string EncodeExtendedText(const std::vector<std::string> &lines);
// The text of a multi-line editor (lines separated by CR LF, LF or CR); an
// empty text is the empty value.
std::string EncodeExtendedText(const std::string &editorText);
// "\\" -> backslash, "\n" -> line break, "\t" -> tab; any other backslash
// stays. The lines come back joined with CR LF, trailing white space and
// empty last lines removed.
std::string DecodeExtendedText(const std::string &value);

} // namespace catalogue
