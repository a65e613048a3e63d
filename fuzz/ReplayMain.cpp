// Runs a fuzz target's LLVMFuzzerTestOneInput over stored inputs, without
// libFuzzer: every file named, and every file in every folder named (not
// recursively, in name order). A folder that does not exist holds nothing.
// An input that breaks an invariant aborts the run, as it would under
// libFuzzer; the file being run is printed first, so the log names it.
//
//   replay_NAME PATH...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        fs::path p(argv[i]);
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            std::vector<fs::path> inFolder;
            for (const auto& entry : fs::directory_iterator(p, ec))
                if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                    inFolder.push_back(entry.path());
            std::sort(inFolder.begin(), inFolder.end());
            inputs.insert(inputs.end(), inFolder.begin(), inFolder.end());
        } else if (fs::is_regular_file(p, ec)) {
            inputs.push_back(p);
        } else if (fs::exists(p, ec)) {
            std::fprintf(stderr, "replay: %s is neither a file nor a folder\n", argv[i]);
            return 2;
        }
    }
    for (const auto& path : inputs) {
        bool exists = false;
        std::vector<uint8_t> bytes = fuzz::readBytes(path.string(), &exists);
        if (!exists) {
            std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
            return 2;
        }
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
        // The same call libFuzzer makes: a buffer of exactly the input's size.
        std::vector<uint8_t> exact(bytes);
        LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    }
    std::printf("replay: %zu inputs ran\n", inputs.size());
    return 0;
}
