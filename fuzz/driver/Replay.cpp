// Runs a fuzz target over files and folders of files named on the command
// line, the way libFuzzer replays a corpus; used where no libFuzzer is built.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int RunFile(const std::filesystem::path &p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", p.c_str());
        return 1;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    return 0;
}

int main(int argc, char **argv)
{
    int failures = 0, runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto &e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file()) {
                    failures += RunFile(e.path());
                    ++runs;
                }
        } else {
            failures += RunFile(p);
            ++runs;
        }
    }
    // An empty input must never break a reader either.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::printf("%d inputs replayed\n", runs);
    return failures == 0 && runs > 0 ? 0 : 1;
}
