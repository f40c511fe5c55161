// Replays saved inputs through a fuzz target without libFuzzer: every regular file of each
// folder named on the command line (a file may be named directly too), in name order, one call
// of LLVMFuzzerTestOneInput each, all in one process as libFuzzer runs them. A target that finds
// a fault aborts, which fails the run. Hidden files (.gitkeep) and README files are skipped.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    namespace fs = std::filesystem;
    size_t replayed = 0;
    for (int a = 1; a < argc; ++a) {
        fs::path place(argv[a]);
        std::error_code ec;
        std::vector<fs::path> inputs;
        if (fs::is_directory(place, ec)) {
            for (const fs::directory_entry &entry : fs::directory_iterator(place, ec)) {
                std::string name = entry.path().filename().string();
                if (entry.is_regular_file() && name[0] != '.' && name.rfind("README", 0) != 0) {
                    inputs.push_back(entry.path());
                }
            }
            std::sort(inputs.begin(), inputs.end());
        } else if (fs::is_regular_file(place, ec)) {
            inputs.push_back(place);
        } else {
            std::fprintf(stderr, "replay: %s is neither a folder nor a file\n", argv[a]);
            return 2;
        }
        for (const fs::path &input : inputs) {
            std::ifstream in(input, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
                return 2;
            }
            std::fprintf(stderr, "replay: %s (%zu bytes)\n", input.c_str(), bytes.size());
            // A copy of exactly the input's size, so that a read past its end is seen by ASan.
            std::vector<uint8_t> exact(bytes);
            exact.shrink_to_fit();
            LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
            ++replayed;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "replay: no inputs found\n");
        return 2;
    }
    std::fprintf(stderr, "replay: %zu inputs, no fault\n", replayed);
    return 0;
}
