#pragma once
// The queue file "Queue.ini": discs read while offline, one section per
// PID, waiting to be looked up. The grabbing window adds sections key by
// key; the queue window opens the whole file into an in-memory INI object,
// lists its entries, records the marks of its lookups and erases entries.
//
// Every value read from the file is bounded and made safe for a list cell:
// control characters never reach the list, the queries or the catalogue.
#include "platform/IniFiles.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace queuefile {

inline constexpr const char *kFileName = "Queue.ini";

// Keys of a section, as the writers write them.
inline constexpr const char *kDiscId = "discid";
inline constexpr const char *kTotalTracks = "TotalTracks";
inline constexpr const char *kCategory = "category";
inline constexpr const char *kQueried = "queried";
inline constexpr const char *kFounded = "founded";
inline constexpr const char *kTrkFrameOffs = "trkframeoffs";
inline constexpr const char *kTpt = "tpt";

// Mark values and read defaults.
inline constexpr const char *kYes = "Yes";
inline constexpr const char *kNo = "No";
inline constexpr const char *kNA = "N/A";
inline constexpr const char *kUnknown = "Unknown";
inline constexpr const char *kNoTime = "00:00";

inline constexpr const char *kErrorOpening = "Error opening QUEUE.ini";
inline constexpr const char *kErrorSaving = "Error saving QUEUE.ini";

// A queue file larger than this is not opened; a value longer than
// kMaxValue bytes is cut (the offsets of 99 tracks take about 700).
inline constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;
inline constexpr size_t kMaxValue = 4096;

// One entry as the queue window lists it.
struct Entry {
    std::string Pid, DiscId, Tracks, Category, Queried, Founded, Tof, Tpt;
    bool operator==(const Entry &) const = default;
};

// Opens the queue file whole; a missing file is an empty queue. A file that
// cannot be read, or is larger than kMaxFileBytes, raises an Exception and
// nothing is read.
std::unique_ptr<TMemIniFile> Open(const std::string &path);

// The section names in file order.
std::vector<std::string> Sections(TCustomIniFile &queue);

// The entry of the section, keys missing reading as their defaults; its Pid
// is the section's name made fit for a cell, so it is only shown, never used
// to find the section again. The category: a queued "N/A" shows the
// catalogue's category when the disc is in the catalogue (catalogue may be
// nullptr) and that category, read with "Unknown" as its default, is not
// empty.
Entry ReadEntry(TCustomIniFile &queue, const std::string &pid, TCustomIniFile *catalogue);

// The queued time of track i ("time" + i), "00:00" when missing.
std::string TrackTime(TCustomIniFile &queue, const std::string &pid, int i);

// Writes the marks of the entry (and its category, trimmed) into the
// section, named as the file names it (the entry's Pid is only what the
// list shows of that name); the caller writes the file.
void WriteStates(TCustomIniFile &queue, const std::string &section, const Entry &entry);

// A value read from a file or a peer made safe for a cell and a value:
// cut to kMaxValue bytes, control characters turned into blanks.
std::string CellValue(const std::string &value);

} // namespace queuefile
