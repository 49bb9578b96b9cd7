// Runs every file of the given folders (or the given files) through the
// target once, so a saved corpus is checked with the normal compiler.

#include "FuzzTarget.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        if (fs::is_directory(arg)) {
            for (const fs::directory_entry &entry : fs::directory_iterator(arg)) {
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
            }
        } else {
            inputs.push_back(arg);
        }
    }
    // A missing or emptied corpus must not pass as "nothing failed".
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());

    for (const fs::path &path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // An exactly sized heap copy, so a read past the end shows under AddressSanitizer.
        auto *data = static_cast<uint8_t *>(std::malloc(bytes.size() ? bytes.size() : 1));
        std::copy(bytes.begin(), bytes.end(), data);
        std::fprintf(stderr, "%s (%zu bytes)\n", path.c_str(), bytes.size());
        TestOneInput(data, bytes.size());
        std::free(data);
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
