#pragma once
// A private scratch folder under $TMPDIR for fuzz targets whose readers work
// on files: made once per process, removed with what it holds when the
// process ends (libFuzzer ends by exit() too; a crash's folder stays in the
// TMPDIR that scripts/fuzz keeps for the crash).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzzfiles {

class Scratch {
public:
    Scratch()
    {
        std::error_code ec;
        const std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
        std::string tmpl = ((ec ? std::filesystem::path("/tmp") : tmp) / "mixdeck-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            std::abort();
        path_ = tmpl;
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;
    const std::string &path() const { return path_; }
    // Writes the input as the file name and gives its path. An empty input
    // (which may come as a null pointer) makes an empty file.
    std::string put(const std::string &name, const uint8_t *data, size_t size) const
    {
        const std::string p = path_ + "/" + name;
        FILE *f = std::fopen(p.c_str(), "wb");
        if (!f)
            std::abort();
        if (size > 0)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
        return p;
    }
    // Removes everything below the folder, keeping the folder.
    void clear() const
    {
        std::error_code ec;
        for (const auto &e : std::filesystem::directory_iterator(path_, ec))
            std::filesystem::remove_all(e.path(), ec);
    }
private:
    std::string path_;
};

// This process's folder.
inline const Scratch &Folder()
{
    static const Scratch s;
    return s;
}

} // namespace fuzzfiles
