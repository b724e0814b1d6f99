#include "webupdate/LzExpand.h"

#include "webupdate/MsPackSystem.h"

#include <cctype>
#include <cerrno>
#include <cstring>

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

namespace {

// How many bytes the packed data really expand to, up to budget; -1 when
// more, or when the data are damaged before the end.
int64_t ExpandedSize(const std::string &Packed, int64_t Budget)
{
    TSzdd s;
    if (!s.Open(Packed))
        return -1;
    s.Sys.CountOutput(Budget);
    if (s.D->extract(s.D, s.H, const_cast<char *>("")) != MSPACK_ERR_OK)
        return -1;
    return Budget - s.Sys.Budget;
}

std::string SizeText(int64_t bytes) { return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes"); }

} // namespace

bool LzExpand(const std::string &Packed, const std::string &Target, int64_t Budget, std::string *Why)
{
    std::string why;
    const bool ok = [&] {
        TSzdd s;
        if (!s.Open(Packed)) {
            why = "it is not a packed (SZDD) file or cannot be read";
            return false;
        }
        const int64_t announced = int64_t(uint64_t(s.H->length) & 0xFFFFFFFFu);
        // Refused from the announced size, before a byte is expanded.
        if (announced > Budget) {
            why = "its header announces " + SizeText(announced) + ", more than the " + SizeText(Budget) + " allowed";
            return false;
        }
        fileio::AtomicWriter out;
        if (!out.Open(Target, false)) {
            why = "cannot write " + Target + ": " + std::strerror(errno);
            return false;
        }
        bool extracted = true;
        // An empty file has no data to decode.
        if (announced > 0) {
            s.Sys.SetOutput(&out, announced);
            extracted = s.D->extract(s.D, s.H, const_cast<char *>(Target.c_str())) == MSPACK_ERR_OK;
            // The header's size, to the byte: more or less is a damaged file,
            // and the user is told both sizes.
            if (s.Sys.OverBudget || (extracted && s.Sys.Budget != 0)) {
                const int64_t real = ExpandedSize(Packed, Budget);
                why = "its header announces " + SizeText(announced) + ", but it expands to " +
                      (real >= 0 ? SizeText(real) : "more than " + SizeText(Budget));
                return false;
            }
            if (!extracted) {
                why = "its packed data are damaged";
                return false;
            }
        }
        if (!out.Commit()) {
            why = "cannot write " + Target + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }();
    if (Why)
        *Why = ok ? std::string() : why;
    return ok;
}
