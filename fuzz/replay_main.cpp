// Replays inputs through a fuzz target without libFuzzer, so that every
// build (gcc, sanitizers or not) runs the seed corpus as a test. Arguments:
// files or directories of inputs.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/fuzz_support.h"

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else {
            inputs.push_back(arg);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    for (const auto& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        const std::vector<unsigned char> data((std::istreambuf_iterator<char>(file)),
                                              std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::fprintf(stderr, "replay: %zu inputs, all passed\n", inputs.size());
    return 0;
}
