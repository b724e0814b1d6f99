#pragma once
// The CD catalogue "MIXDECK.ini": one section per disc, named by its PID.
// Every reader and writer opens the whole file into a TMemIniFile, works on
// it and, when it changed anything, writes it back with one update; the main
// window alone keeps a copy (TCatalogueCache) that it reads again only when
// the file changed.
#include "platform/IniFiles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
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

// How many times this unit has read a catalogue file (Open and
// TCatalogueCache::Refresh), for tests that show a read did not happen.
unsigned long ReadCount();

// The largest catalogue file that is read; a larger one cannot be opened.
inline constexpr size_t kMaxCatalogueBytes = size_t(1) << 30;

// The main window's copy of the catalogue: the file's bytes and where each
// section lies in them, read as the in-memory INI object reads the file but
// without building its key table. It is read again only when the file has
// changed since (size, modification time, device or inode differ), when it
// was cut short under the mapping, or after Invalidate(), which the program
// calls once it has written the file.
class TCatalogueCache {
public:
    explicit TCatalogueCache(std::string path);

    // Brings the copy up to date: looks at the file (no read when it is the
    // one read last) and reads it again when it changed. Returns whether it
    // was read. A missing file is an empty catalogue; a file that exists but
    // cannot be read raises EFOpenError "Cannot open file <name>" and the
    // previous copy stays.
    bool Refresh();
    void Invalidate() { known_ = false; }

    // The bytes of the file: the file itself mapped read-only, or, where it
    // cannot be mapped, a copy read into memory (large ones in huge pages
    // where offered).
    class Buffer {
    public:
        Buffer() = default;
        Buffer(const Buffer &) = delete;
        Buffer &operator=(const Buffer &) = delete;
        ~Buffer();
        // Maps size bytes of the open file; false when it cannot be mapped.
        bool mapFile(int fd, size_t size);
        bool reserve(size_t capacity);  // keeps the bytes held
        char *data() { return data_; }
        size_t size() const { return size_; }
        size_t capacity() const { return capacity_; }
        void setSize(size_t n) { size_ = n; }
        std::string_view view() const { return {data_ ? data_ : "", size_}; }
        void swap(Buffer &other);
        // Whether the mapped file was cut short under the mapping since it
        // was mapped (what lay past the new end now reads as zero bytes).
        bool cutShort() const;

    private:
        void release();
        char *data_ = nullptr;
        size_t capacity_ = 0, size_ = 0;
        enum class Kind { Heap, Anonymous, File } kind_ = Kind::Heap;
        int guard_ = -1;  // the mapping's slot in the guard against truncation
    };

    // The sections in file order (duplicates count once, where they first stand).
    int Count() const { return int(sections_.size()); }
    std::string_view Name(int i) const { return sections_[size_t(i)].name; }
    // The first value of the key in the section, as TMemIniFile reads it;
    // def when either is missing.
    std::string ReadString(std::string_view section, std::string_view ident, const std::string &def) const;
    // Section i's values of two keys, looked up in one pass.
    void ReadPair(int i, std::string_view key1, std::string_view key2, std::string &value1,
                  std::string &value2, const std::string &def) const;
    // One section as an in-memory INI object of its own (empty when missing).
    std::unique_ptr<TMemIniFile> Section(std::string_view section) const;

private:
    struct Range {
        size_t begin = 0, end = 0;
        int next = -1;  // the next range of a section that stands more than once
    };
    struct Entry {
        std::string_view name;
        Range body;
    };
    int find(std::string_view section) const;
    template <class F>
    void forEachKey(int i, F f) const;
    void parse();

    std::string path_;
    bool known_ = false;
    struct FileStamp {
        bool exists = false;
        unsigned long long dev = 0, ino = 0, size = 0;
        long long mtimeSec = 0, mtimeNsec = 0;
        bool operator==(const FileStamp &) const = default;
    };
    FileStamp stamp_;
    Buffer bytes_;
    std::vector<Entry> sections_;
    std::vector<Range> more_;         // later ranges of repeated sections
    std::vector<uint32_t> slots_;     // open-addressed: section index + 1
};

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
