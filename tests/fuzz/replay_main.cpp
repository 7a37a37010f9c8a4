// Replays a fuzz target's seed corpus (every file below the given folders) as
// an ordinary regression test: any sanitizer finding or crash fails it.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int replay_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(copy.data(), copy.size());
    return 1;
}

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; i++) {
        std::filesystem::path root(argv[i]);
        if (std::filesystem::is_regular_file(root)) {
            count += replay_file(root);
            continue;
        }
        if (!std::filesystem::is_directory(root)) {
            std::fprintf(stderr, "no corpus at %s\n", argv[i]);
            return 1;
        }
        for (auto& entry : std::filesystem::recursive_directory_iterator(root))
            if (entry.is_regular_file()) count += replay_file(entry.path());
    }
    if (count == 0) {
        std::fprintf(stderr, "empty corpus\n");
        return 1;
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
