// A plain main for a fuzz target: calls its LLVMFuzzerTestOneInput once on each file named on the
// command line and on each file inside a directory named there (in name order). No libFuzzer and
// no clang are needed, so the tests run a target's stored inputs in every preset. Each input's
// name is printed before it runs, so a crash or an abort in the target names the input; a run
// that finds no input at all fails, so a wrong path cannot pass.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsAt(const fs::path& argument) {
    if (!fs::is_directory(argument)) {
        return {argument};
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(argument)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool runInput(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::cerr << file.string() << ": cannot read\n";
        return false;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::cout << file.string() << " (" << bytes.size() << " bytes)" << std::endl;
    // The target's return value is libFuzzer's corpus hint; only its crashes and aborts count.
    (void)LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t ran = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& file : inputsAt(argv[i])) {
            if (!runInput(file)) {
                return 1;
            }
            ++ran;
        }
    }
    if (ran == 0) {
        std::cerr << "no input: usage: " << argv[0] << " FILE|DIRECTORY...\n";
        return 2;
    }
    std::cout << ran << " inputs ran\n";
    return 0;
}
