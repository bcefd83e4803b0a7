// Scanning a mail-folder file for the messages its index does not reach, against reading the file
// once. The folder: 100,000 messages in about 245 MB, its index whole or zeroed. The scan must
// cost at most twice a plain read of the file (cat, measured in the same run) and under a second,
// and hold at most 64 bytes for each block it finds.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "core/QuilloryApp.h"
#include "dbx/DbxBlockChain.h"
#include "dbx/DbxScanner.h"
#include "dbx/DbxSource.h"
#include "dbxgen/DbxGen.h"
#include "model/listax.h"
#include "platform/File.h"
#include "BenchCommon.h"

namespace {

constexpr std::uint32_t kMessages = 100000;
// About 2,000 bytes of body a message (plus its header, block headers, record and index share):
// 245 MB for the folder.
constexpr std::size_t kBody = 1931;

// The folder, written once and kept between runs (generating it costs more than the runs).
const std::string& Folder(bool bZeroIndex)
{
    static std::map<bool, std::string> made;
    if (auto it = made.find(bZeroIndex); it != made.end())
        return it->second;
    const std::string path = bench::BenchDir("quillory-recover-bench") + "/" + std::to_string(kMessages) + "x" +
                             std::to_string(kBody) + (bZeroIndex ? "-zeroed-index.dbx" : "-whole-index.dbx");
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        std::vector<dbxgen::Message> messages(kMessages);
        for (std::uint32_t i = 0; i < kMessages; ++i)
            messages[i].text = dbxgen::SampleMessage(i, kBody);
        dbxgen::Options options;
        options.layout = dbxgen::Layout::Scattered;
        options.bZeroIndex = bZeroIndex;
        dbxgen::WriteFile(path, dbxgen::BuildFolder(messages, options));
    }
    return made.emplace(bZeroIndex, path).first->second;
}

void Warm(const std::string& path)
{
    const std::string command = "cat '" + path + "' > /dev/null";
    if (std::system(command.c_str()) != 0)
        std::abort();
}

// The baseline: `cat FILE > /dev/null`, process start included.
void BM_Cat(benchmark::State& state)
{
    const std::string& path = Folder(state.range(0) != 0);
    Warm(path);
    const std::string command = "cat '" + path + "' > /dev/null";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}
BENCHMARK(BM_Cat)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The same read in this process: 128 KB reads, as cat makes them.
void BM_Read(benchmark::State& state)
{
    const std::string& path = Folder(state.range(0) != 0);
    Warm(path);
    // Page-aligned, as cat's buffer is.
    std::vector<char> storage(128 * 1024 + 4096);
    char* const buffer = storage.data() + (4096 - reinterpret_cast<std::uintptr_t>(storage.data()) % 4096) % 4096;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        std::size_t total = 0;
        for (ssize_t got; (got = ::read(fd, buffer, 128 * 1024)) > 0;)
            total += static_cast<std::size_t>(got);
        ::close(fd);
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_Read)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

long MaxRssKb()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The scan alone. Zeroed index: every message is found. Whole index: its blocks are known, and
// the scan finds nothing else.
void BM_Scan(benchmark::State& state)
{
    const bool bZeroIndex = state.range(0) != 0;
    const std::string& path = Folder(bZeroIndex);
    Warm(path);
    CFile file;
    file.Open(path, CFile::modeRead | CFile::typeBinary);
    std::optional<DbxBlockSet> indexed;
    if (!bZeroIndex) {
        // What the listing collects while it gathers: every block of every indexed chain.
        DbxSource source(file);
        indexed.emplace(source.Size());
        DbxBlockSet passed(source.Size());
        DbxScanResult all = ScanForMessages(file);
        for (const DbxRecoveredChain& chain : all.chains) {
            DbxBlockChain walk(source, chain.nFirstBlock, passed);
            while (walk.Next())
                (void)indexed->Insert(walk.BlockOffset());
        }
    }
    DbxScanOptions options;
    options.pIndexed = indexed ? &*indexed : nullptr;
    const long rssBefore = MaxRssKb();
    DbxScanResult scan;
    for (auto _ : state)
        scan = ScanForMessages(file, options);
    state.counters["found"] = static_cast<double>(scan.chains.size());
    state.counters["blocks"] = static_cast<double>(scan.nBlocks);
    state.counters["held_MB"] = static_cast<double>(scan.nPeakBytes) / 1e6;
    state.counters["bytes_per_block"] = scan.nBlocks ? static_cast<double>(scan.nPeakBytes) / static_cast<double>(scan.nBlocks) : 0;
    // Meaningful only in a process that did not write the folder itself (run it a second time).
    state.counters["rss_growth_MB"] = static_cast<double>(MaxRssKb() - rssBefore) / 1e3;
}
BENCHMARK(BM_Scan)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The whole listing: of a folder whose index is gone (every row recovered), and of a sound folder
// with and without the recovered messages asked for.
void BM_List(benchmark::State& state)
{
    const bool bZeroIndex = state.range(0) != 0;
    const bool bRecovered = state.range(1) != 0;
    const std::string& path = Folder(bZeroIndex);
    Warm(path);
    std::int32_t listed = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(listed = bench::ListFolder(path, bRecovered));
    state.counters["messages"] = listed;
}
BENCHMARK(BM_List)->Args({1, 0})->Args({0, 0})->Args({0, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
