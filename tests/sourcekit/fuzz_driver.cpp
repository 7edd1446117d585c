// A stand-in for libFuzzer's driver where the compiler has none: replays every seed, then feeds
// randomly mutated seeds (bit flips, interesting values, inserted, removed and duplicated chunks,
// truncation, splices) until the time is up. Not coverage-guided; under AddressSanitizer it still
// finds what the mutations reach. Understands the options the CI passes: -max_total_time=S,
// -seed=N, -runs=N; every other argument is a seed file or a folder of seeds.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

std::vector<uint8_t> g_current;
char g_crashPath[] = "fuzz-crash-input";

// Keeps the input that brought the process down, for reproduction.
void SaveCurrentInput() {
    FILE* out = std::fopen(g_crashPath, "wb");
    if (out == nullptr) return;
    std::fwrite(g_current.data(), 1, g_current.size(), out);
    std::fclose(out);
    std::fprintf(stderr, "fuzz: input of %zu bytes saved as %s\n", g_current.size(), g_crashPath);
}

void OnFatalSignal(int number) {
    SaveCurrentInput();
    std::signal(number, SIG_DFL);
    raise(number);
}

std::vector<uint8_t> Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Mutate(std::vector<uint8_t>* bytes, const std::vector<std::vector<uint8_t>>& seeds, std::mt19937_64* random) {
    auto pick = [&](size_t limit) { return limit == 0 ? size_t{0} : static_cast<size_t>((*random)() % limit); };
    static const uint32_t kInteresting[] = {0, 1, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF};
    const int rounds = 1 + static_cast<int>(pick(8));
    for (int round = 0; round < rounds; ++round) {
        if (bytes->empty()) bytes->push_back(0);
        const size_t at = pick(bytes->size());
        switch (pick(8)) {
            case 0:
                (*bytes)[at] ^= static_cast<uint8_t>(1u << pick(8));
                break;
            case 1:
                (*bytes)[at] = static_cast<uint8_t>((*random)());
                break;
            case 2: {  // a 32-bit big-endian field set to an edge value
                const uint32_t value = kInteresting[pick(std::size(kInteresting))];
                for (int i = 0; i < 4 && at + static_cast<size_t>(i) < bytes->size(); ++i) {
                    (*bytes)[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
                }
                break;
            }
            case 3: {
                std::vector<uint8_t> chunk(1 + pick(64));
                for (uint8_t& b : chunk) b = static_cast<uint8_t>((*random)());
                bytes->insert(bytes->begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
                break;
            }
            case 4: {
                const size_t count = std::min(bytes->size() - at, 1 + pick(256));
                bytes->erase(bytes->begin() + static_cast<std::ptrdiff_t>(at),
                             bytes->begin() + static_cast<std::ptrdiff_t>(at + count));
                break;
            }
            case 5: {
                const size_t count = std::min(bytes->size() - at, 1 + pick(256));
                const std::vector<uint8_t> chunk(bytes->begin() + static_cast<std::ptrdiff_t>(at),
                                                 bytes->begin() + static_cast<std::ptrdiff_t>(at + count));
                bytes->insert(bytes->begin() + static_cast<std::ptrdiff_t>(pick(bytes->size())), chunk.begin(),
                              chunk.end());
                break;
            }
            case 6:
                bytes->resize(at + 1);
                break;
            default: {
                const std::vector<uint8_t>& other = seeds[pick(seeds.size())];
                if (other.empty()) break;
                const size_t from = pick(other.size());
                bytes->resize(at);
                bytes->insert(bytes->end(), other.begin() + static_cast<std::ptrdiff_t>(from), other.end());
                break;
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    uint64_t seed = 1;
    long maxRuns = -1;
    std::vector<std::vector<uint8_t>> seeds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("-max_total_time=", 0) == 0) {
            seconds = std::atof(arg.c_str() + 16);
        } else if (arg.rfind("-seed=", 0) == 0) {
            seed = std::strtoull(arg.c_str() + 6, nullptr, 10);
        } else if (arg.rfind("-runs=", 0) == 0) {
            maxRuns = std::atol(arg.c_str() + 6);
        } else if (arg.rfind("-", 0) == 0) {
            continue;  // other libFuzzer options mean nothing here
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) seeds.push_back(Load(entry.path()));
            }
        } else {
            seeds.push_back(Load(arg));
        }
    }
    if (seeds.empty()) seeds.emplace_back();
    LLVMFuzzerInitialize(&argc, &argv);
    if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(&SaveCurrentInput);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(s, &OnFatalSignal);

    const auto start = std::chrono::steady_clock::now();
    long runs = 0;
    for (const std::vector<uint8_t>& input : seeds) {
        g_current = input;
        LLVMFuzzerTestOneInput(g_current.data(), g_current.size());
        ++runs;
    }
    std::mt19937_64 random(seed);
    while (maxRuns < 0 || runs < maxRuns) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= seconds) break;
        g_current = seeds[static_cast<size_t>(random() % seeds.size())];
        Mutate(&g_current, seeds, &random);
        LLVMFuzzerTestOneInput(g_current.data(), g_current.size());
        ++runs;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("fuzz: %ld inputs in %.1f s from %zu seeds, no failure\n", runs, elapsed, seeds.size());
    return 0;
}
