// Listing mail-folder files and saving their messages, at the sizes that matter. Listing reads the
// beginning of each message and, for its size, every block header of its chain: no message data
// past the first 2.5 KB or so, but every page of a folder of long messages. Saving must stream.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <string>

#include "core/QuilloryApp.h"
#include "model/listax.h"
#include "dbxgen/DbxGen.h"
#include "extract/MessageCopy.h"
#include "platform/File.h"
#include "BenchCommon.h"

namespace {

// A folder of count messages of about bodyBytes each, in 512-byte blocks, written once per process.
const std::string& Folder(std::uint32_t count, std::size_t bodyBytes, dbxgen::Layout layout)
{
    static std::map<std::string, std::string> made;
    std::string name = std::to_string(count);
    name += 'x';
    name += std::to_string(bodyBytes);
    name += layout == dbxgen::Layout::Scattered ? "s.dbx" : "p.dbx";
    auto it = made.find(name);
    if (it != made.end())
        return it->second;
    std::vector<dbxgen::Message> messages(count);
    for (std::uint32_t i = 0; i < count; ++i)
        messages[i].text = dbxgen::SampleMessage(i, bodyBytes);
    dbxgen::Options options;
    options.layout = layout;
    const std::string path = bench::BenchDir("quillory-dbx-bench") + "/" + name;
    dbxgen::WriteFile(path, dbxgen::BuildFolder(messages, options));
    return made.emplace(name, path).first->second;
}

// 1,000 messages of 5 KB against 1,000 of 1 MB: the second reads 2,000 block headers a message.
void BM_List1000Messages(benchmark::State& state)
{
    const std::string& path = Folder(1000, static_cast<std::size_t>(state.range(0)), dbxgen::Layout::Scattered);
    bench::ListFolder(path);  // warm the cache
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::ListFolder(path));
    state.counters["messages"] = 1000;
}
BENCHMARK(BM_List1000Messages)->Arg(5 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);

// 100,000 messages of a few KB behind a three-level index: under a second, warm.
void BM_List100000Messages(benchmark::State& state)
{
    const std::string& path = Folder(100000, 3000, dbxgen::Layout::Scattered);
    bench::ListFolder(path);
    std::int32_t listed = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(listed = bench::ListFolder(path));
    state.counters["messages"] = listed;
}
BENCHMARK(BM_List100000Messages)->Unit(benchmark::kMillisecond)->Iterations(5);

// One 500 MB message saved through the fixed buffer.
void BM_Save500MBMessage(benchmark::State& state)
{
    const std::string& path = Folder(1, 500u * 1024 * 1024, dbxgen::Layout::Packed);
    CQuilloryApp app;
    bench::ListFolderInto(app, path);
    ListedMessage listed;
    if (const listaf* e = app.FirstEntry())
        listed = ListedMessage{e->m_nRecordOffset, e->m_nDataOffset, e->Size()};
    CFile folder;  // opened after the listing, which holds the file exclusively while it reads
    folder.Open(path, CFile::modeRead | CFile::typeBinary);
    const std::string out = bench::BenchDir("quillory-dbx-bench") + "/saved.eml";
    for (auto _ : state) {
        if (SaveChainAs(folder, listed, out) != SaveResult::Saved)
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 500 * 1024 * 1024);
    std::filesystem::remove(out);
}
BENCHMARK(BM_Save500MBMessage)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
