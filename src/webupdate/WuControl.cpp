#include "webupdate/WuControl.h"

#include "platform/FileIO.h"
#include "platform/Rtl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool ParseWhole(const std::string &Text, int64_t &Value)
{
    const std::string t = Rtl::Trim(Text);
    if (t.empty() || t.size() > 24)
        return false;
    return Rtl::TryStrToInt64(t, Value);
}

} // namespace

std::optional<uint32_t> ParseChecksum(const std::string &Text)
{
    int64_t v = 0;
    if (!ParseWhole(Text, v) || v == -1 || v < INT32_MIN || v > int64_t(UINT32_MAX))
        return std::nullopt;
    return uint32_t(v);
}

int64_t ParseSize(const std::string &Text, int64_t Def)
{
    int64_t v = 0;
    return ParseWhole(Text, v) ? v : Def;
}

TUpdateControlFile::TUpdateControlFile() : FIni("") {}

bool TUpdateControlFile::LoadFromFile(const std::string &FileName)
{
    FIni.Clear();
    const int fd = open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    const bool small = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxBytes;
    close(fd);
    std::string text;
    if (!small || !fileio::ReadFile(FileName, text) || int64_t(text.size()) > MaxBytes)
        return false;
    return LoadFromText(text);
}

bool TUpdateControlFile::LoadFromText(const std::string &Text)
{
    FIni.Clear();
    if (int64_t(Text.size()) > MaxBytes)
        return false;
    FIni.SetStrings(Text);
    return true;
}

std::string TUpdateControlFile::Value(const std::string &Section, const std::string &Key, const std::string &Def)
{
    if (!FIni.ValueExists(Section, Key))
        return Def;
    return Rtl::Trim(FIni.ReadString(Section, Key, Def));
}

int TUpdateControlFile::Integer(const std::string &Section, const std::string &Key, int Def)
{
    int64_t v = 0;
    if (!ParseWhole(Value(Section, Key), v) || v < INT32_MIN || v > INT32_MAX)
        return Def;
    return int(v);
}

bool TUpdateControlFile::FileCount(int &Count)
{
    Count = 0;
    const std::string text = Value("files", "count");
    if (text.empty())
        return true;
    int64_t v = 0;
    if (!ParseWhole(text, v) || v < 0 || v > MaxFiles)
        return false;
    Count = int(v);
    return true;
}

TUpdateFileEntry TUpdateControlFile::File(int Index)
{
    const std::string s = "file" + std::to_string(Index);
    TUpdateFileEntry e;
    e.Url = Value(s, "url");
    e.Descr = Value(s, "descr");
    e.NewVersion = Value(s, "newversion");
    e.LocalVersion = Value(s, "localversion");
    e.CustomVersion = Value(s, "customversion");
    e.TargetDir = Value(s, "targetdir");
    e.NewSize = Size(s, "newsize");
    e.NewChecksum = Checksum(s, "newchecksum");
    e.Compressed = Integer(s, "compressed", 0) == 1;
    return e;
}
