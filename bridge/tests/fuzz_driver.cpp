// Stand-alone driver for the grammar fuzz target where libFuzzer is not
// available: replays every file of the given corpus folders, then mutates
// corpus entries at random until the given number of seconds has passed.
//   bridge_fuzz_driver [-seconds=N] folder...
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

std::string Mutate(std::string s, std::mt19937& rng) {
    static const char kAlphabet[] = "::::QSMqs0123456789-+ \t xX\\_";
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    int steps = 1 + static_cast<int>(pick(4));
    for (int i = 0; i < steps; ++i) {
        switch (pick(5)) {
            case 0: s.insert(s.begin() + static_cast<long>(pick(s.size() + 1)), kAlphabet[pick(sizeof kAlphabet - 1)]); break;
            case 1: if (!s.empty()) s.erase(pick(s.size()), 1); break;
            case 2: if (!s.empty()) s[pick(s.size())] = static_cast<char>(pick(256)); break;
            case 3: if (!s.empty()) { std::size_t at = pick(s.size()); s.insert(at, s.substr(at, pick(8) + 1)); } break;
            default: s.insert(pick(s.size() + 1), std::string(pick(12) + 1, '9')); break;  // long numbers
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 0;
    std::vector<std::string> corpus;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-seconds=", 9) == 0) {
            seconds = std::atof(argv[i] + 9);
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            std::ifstream in(entry.path(), std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (corpus.empty()) corpus.emplace_back();
    for (const std::string& input : corpus) Run(input);

    std::mt19937 rng(12345);
    unsigned long long executed = corpus.size();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        for (int i = 0; i < 1000; ++i, ++executed) {
            Run(Mutate(corpus[std::uniform_int_distribution<std::size_t>(0, corpus.size() - 1)(rng)], rng));
        }
    }
    std::printf("executed %llu inputs without a failure\n", executed);
    return 0;
}
