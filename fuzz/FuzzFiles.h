#pragma once
// A private scratch folder for fuzz targets whose readers work on files:
// made once per process, emptied after every input, removed at exit.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzfiles {

class Scratch {
public:
    Scratch()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "mixdeck-fuzz-XXXXXX").string();
        if (mkdtemp(tmpl.data()))
            path_ = tmpl;
    }
    ~Scratch()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    const std::string &path() const { return path_; }
    // Writes the input as the file name and gives its path.
    std::string put(const std::string &name, const uint8_t *data, size_t size) const
    {
        const std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char *>(data), std::streamsize(size));
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

inline const Scratch &Folder()
{
    static Scratch s;
    return s;
}

} // namespace fuzzfiles
