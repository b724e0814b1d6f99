#pragma once
// The two INI classes.
//
// TIniFile follows the system's key-by-key profile functions: every read
// opens the file, every write reads it, changes one key or section and
// writes it back at once. Unknown lines and comments are kept. Values are
// stored without leading blanks and given back with leading and trailing
// blanks removed (at most 2047 characters); a missing key reads as the
// caller's default.
//
// TMemIniFile is the in-memory INI object: the file is read whole when the
// object is made, edited in memory and written back whole by UpdateFile.
// Values are kept exactly as they stand after the first "=". Empty lines,
// comment lines (";") and lines before the first section are dropped.
//
// Both compare section and key names without regard to case, accept CR LF,
// LF and CR line ends, write CR LF, and write through an atomic replace, so a
// failed write leaves the old file byte for byte as it was. TIniFile then
// raises EIniFileException "Unable to write to <file>", TMemIniFile
// EFCreateError "Cannot create file <file>". A line break inside a value
// would split the line: it is written as a blank.
#include "platform/Classes.h"

#include <memory>
#include <unordered_map>
#include <string>
#include <vector>

namespace inifile { struct ProfileFile; }

class TCustomIniFile {
public:
    explicit TCustomIniFile(std::string fileName) : FileName(std::move(fileName)) {}
    virtual ~TCustomIniFile() = default;

    const std::string FileName;

    virtual std::string ReadString(const std::string &section, const std::string &ident,
                                   const std::string &def) = 0;
    virtual void WriteString(const std::string &section, const std::string &ident,
                             const std::string &value) = 0;
    // Decimal, or hexadecimal after "0x"/"0X" (and "$"); anything else reads
    // as the default.
    virtual int ReadInteger(const std::string &section, const std::string &ident, int def);
    virtual void WriteInteger(const std::string &section, const std::string &ident, int value);
    // Written as "1"/"0"; read as an integer, any value other than 0 is true.
    virtual bool ReadBool(const std::string &section, const std::string &ident, bool def);
    virtual void WriteBool(const std::string &section, const std::string &ident, bool value);

    // Names of the sections in file order.
    virtual void ReadSections(TStringList &strings) = 0;
    // Key names of one section in order.
    virtual void ReadSection(const std::string &section, TStringList &strings) = 0;
    // "key=value" lines of one section.
    virtual void ReadSectionValues(const std::string &section, TStringList &strings) = 0;
    virtual void EraseSection(const std::string &section) = 0;
    virtual void DeleteKey(const std::string &section, const std::string &ident) = 0;
    virtual bool SectionExists(const std::string &section);
    virtual bool ValueExists(const std::string &section, const std::string &ident);
    virtual void UpdateFile() = 0;
};

class TIniFile : public TCustomIniFile {
public:
    explicit TIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)) {}

    std::string ReadString(const std::string &section, const std::string &ident,
                           const std::string &def) override;
    void WriteString(const std::string &section, const std::string &ident,
                     const std::string &value) override;
    void ReadSections(TStringList &strings) override;
    void ReadSection(const std::string &section, TStringList &strings) override;
    void ReadSectionValues(const std::string &section, TStringList &strings) override;
    void EraseSection(const std::string &section) override;
    void DeleteKey(const std::string &section, const std::string &ident) override;
    void UpdateFile() override {}  // every write is on disk already

    // Batches key-by-key changes into one rewrite: from Hold on, reads and
    // writes work on the file's lines held in memory (false when the file
    // could not be read: it then starts empty), and Flush writes them back
    // at once, raising EIniFileException "Unable to write to <file>" when
    // that fails (the file is then as it was before Hold).
    bool Hold();
    void Flush();

private:
    struct Held;
    std::shared_ptr<Held> held_;
    // The file's lines: those held, or read now (false: no file).
    bool loadLines(inifile::ProfileFile &f) const;
    // Stores the lines: into those held, or by rewriting the file.
    void saveLines(inifile::ProfileFile &f);
};

class TMemIniFile : public TCustomIniFile {
public:
    // Reads the file when it exists; a missing file is an empty object.
    // A file that exists but cannot be read raises EFOpenError
    // "Cannot open file <file>".
    explicit TMemIniFile(std::string fileName);

    std::string ReadString(const std::string &section, const std::string &ident,
                           const std::string &def) override;
    void WriteString(const std::string &section, const std::string &ident,
                     const std::string &value) override;
    void ReadSections(TStringList &strings) override;
    void ReadSection(const std::string &section, TStringList &strings) override;
    void ReadSectionValues(const std::string &section, TStringList &strings) override;
    void EraseSection(const std::string &section) override;
    void DeleteKey(const std::string &section, const std::string &ident) override;
    bool SectionExists(const std::string &section) override;
    bool ValueExists(const std::string &section, const std::string &ident) override;
    // Writes every section as its header, its key lines and one empty line.
    void UpdateFile() override;

    // Replaces the contents by the text (the INI lines) / gives them as text.
    void SetStrings(const std::string &text);
    std::string GetStrings() const;
    void Clear();

private:
    struct Line {
        std::string name;   // key name; the whole line when hasValue is false
        std::string value;
        bool hasValue = true;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;  // in file order
        Line *find(const std::string &ident);
    };
    Section *find(const std::string &section);
    Section &findOrAdd(const std::string &section);
    std::vector<std::unique_ptr<Section>> sections_;
    std::unordered_map<std::string, Section *> sectionIndex_;  // folded name -> section
};
