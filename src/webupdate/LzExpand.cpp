#include "webupdate/LzExpand.h"

#include "webupdate/MsPackSystem.h"

#include <cctype>

namespace {

class TSzdd {
public:
    TSzdd() : D(mspack_create_szdd_decompressor(Sys.System())) {}
    ~TSzdd()
    {
        if (D && H)
            D->close(D, H);
        if (D)
            mspack_destroy_szdd_decompressor(D);
    }
    bool Open(const std::string &FileName)
    {
        if (!D)
            return false;
        H = D->open(D, const_cast<char *>(FileName.c_str()));
        return H != nullptr;
    }
    TMsPackSystem Sys;
    msszdd_decompressor *D;
    msszddd_header *H = nullptr;
};

} // namespace

bool LzInspect(const std::string &FileName, TLzInfo &Info)
{
    TSzdd s;
    if (!s.Open(FileName))
        return false;
    // The header holds 32 bits without a sign.
    Info.Length = int64_t(uint64_t(s.H->length) & 0xFFFFFFFFu);
    Info.MissingChar = s.H->missing_char;
    return true;
}

std::string LzExpandedName(const std::string &FileName, char MissingChar)
{
    const size_t slash = FileName.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (FileName.size() <= base + 1 || FileName.back() != '_')
        return FileName;
    const unsigned char c = static_cast<unsigned char>(MissingChar);
    const bool usable = c >= 0x20 && c != 0x7F && c != '/' && c != '\\';
    std::string name = FileName.substr(0, FileName.size() - 1);
    if (!usable)
        return name;
    bool capitals = false;
    for (size_t i = base; i < name.size(); ++i)
        if (std::isupper(static_cast<unsigned char>(name[i])))
            capitals = true;
    name += capitals ? char(std::toupper(c)) : char(std::tolower(c));
    return name;
}

bool LzExpand(const std::string &Packed, const std::string &Target, int64_t Budget)
{
    TSzdd s;
    if (!s.Open(Packed))
        return false;
    // Refused from the announced size, before a byte is expanded.
    if (s.H->length < 0 || int64_t(s.H->length) > Budget)
        return false;
    fileio::AtomicWriter out;
    if (!out.Open(Target, false))
        return false;
    // An empty file has no data to decode.
    if (s.H->length == 0)
        return out.Commit();
    s.Sys.SetOutput(&out, int64_t(s.H->length));
    if (s.D->extract(s.D, s.H, const_cast<char *>(Target.c_str())) != MSPACK_ERR_OK)
        return false;
    // The header's size, to the byte: a shorter result is a damaged file.
    if (s.Sys.Budget != 0)
        return false;
    return out.Commit();
}
