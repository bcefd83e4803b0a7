// Directory scan with header extraction, and sorting, at the sizes users have.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/QuilloryApp.h"
#include "model/listax.h"

namespace {

// A directory of n realistic message files, made once per process.
const std::string& MessageDirectory(int n)
{
    static std::string path;
    if (!path.empty())
        return path;
    path = (std::filesystem::temp_directory_path() / ("quillory-bench-" + std::to_string(n))).string();
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    std::mt19937 rng(7);
    for (int i = 0; i < n; ++i) {
        std::ofstream out(path + "/msg" + std::to_string(i) + ".eml", std::ios::binary);
        out << "Return-Path: <sender" << rng() % 500 << "@example.com>\r\n"
            << "Received: from mail.example.com by mx.example.org; Mon, 1 Jan 2007 10:00:00 +0100\r\n"
            << "From: Sender " << rng() % 500 << " <sender@example.com>\r\n"
            << "To: \"Reader\" <reader" << rng() % 50 << "@example.org>\r\n"
            << "Subject: Report number " << rng() % 100000 << "\r\n"
            << "Date: Mon, 1 Jan 2007 10:00:00 +0100\r\n"
            << "Content-Type: text/plain\r\n\r\n"
            << std::string(4000, 'b') << "\r\n";
    }
    return path;
}

void BM_ScanAndSort10000(benchmark::State& state)
{
    const std::string& dir = MessageDirectory(10000);
    CQuilloryApp app;
    app.m_strCurrentDir = dir;
    app.ScanDirectory();  // warm the cache
    for (auto _ : state) {
        app.ScanDirectory();
        app.SortEntries();
    }
    state.counters["entries"] = listax::Count(&app.m_pEntries);
}
BENCHMARK(BM_ScanAndSort10000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Sort100000(benchmark::State& state)
{
    CQuilloryApp app;
    std::mt19937 rng(11);
    const std::int32_t kinds[] = {KIND_DIRECTORY, KIND_MESSAGE_FILE, KIND_MAIL_FOLDER, KIND_OTHER,
                                  KIND_FOLDER_MESSAGE};
    for (int i = 0; i < 100000; ++i) {
        listaf* e = app.AppendEntry();
        e->m_nKind = kinds[rng() % 5];
        char name[16];
        std::snprintf(name, sizeof name, "Msg%05d", i + 1);
        e->m_strName = name;
        e->m_strFrom = "From: Sender " + std::to_string(rng() % 5000) + " <s@example.com>";
        e->m_strTo = "To: reader" + std::to_string(rng() % 100) + "@example.org";
        e->m_strSubject = "Subject: Report " + std::to_string(rng());
    }
    for (auto _ : state) {
        state.PauseTiming();
        app.m_nSortMode = static_cast<std::int32_t>(state.range(0));
        // Shuffle back to a fresh order so every run sorts from scratch.
        app.m_nSortMode = (app.m_nSortMode + 1) % 4;
        app.SortEntries();
        app.m_nSortMode = static_cast<std::int32_t>(state.range(0));
        state.ResumeTiming();
        app.SortEntries();
    }
}
BENCHMARK(BM_Sort100000)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_Append100000(benchmark::State& state)
{
    for (auto _ : state) {
        CQuilloryApp app;
        for (int i = 0; i < 100000; ++i)
            app.AppendEntry();
        benchmark::DoNotOptimize(app.m_pEntries);
    }
}
BENCHMARK(BM_Append100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
