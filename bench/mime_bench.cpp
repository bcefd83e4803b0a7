// Reading messages, at the sizes that matter: parsing a 50 KB and a 20 MB message for the reader,
// quillory-cli show on a 1 MB message (and its peak memory on the 20 MB one), and the listing of
// 100,000 folder messages with decoded header lines against the same listing undecoded.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

#include "core/QuilloryApp.h"
#include "dbxgen/DbxGen.h"
#include "mime/ListingDecode.h"
#include "mime/MimeDocument.h"
#include "model/listax.h"
#include "BenchCommon.h"

extern char** environ;

namespace {

// Text of about size bytes: Latin-1 words in quoted-printable lines, as mail programs sent them.
std::string QuotedPrintableText(std::size_t size)
{
    std::string out;
    while (out.size() < size)
        out += "Gr=FC=DFe aus K=F6ln, the quarterly figures are attached; see the table =\r\nbelow and the notes.\r\n";
    return out;
}

std::string HtmlText(std::size_t size)
{
    std::string html = "<html><body>";
    while (html.size() < size)
        html += "<p>Caf\xC3\xA9 notes, <b>figures</b> and <a href=\"http://example.org/\">a link</a>.</p>\r\n";
    return html + "</body></html>\r\n";
}

// A multipart/mixed message: plain and HTML alternatives, then attachments of the sizes given.
std::string MakeMessage(std::size_t textBytes, std::size_t htmlBytes, const std::vector<std::size_t>& attachments)
{
    std::string m = "From: =?iso-8859-1?Q?J=F6rg_M=FCller?= <j@example.de>\r\nTo: team@example.org\r\n"
                    "Subject: =?utf-8?B?UXVhcnRlcmx5IGZpZ3VyZXMg4oCUIGNhZsOp?=\r\nDate: Tue, 2 Jan 2001 10:00:00 +0100\r\n"
                    "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n"
                    "--mix\r\nContent-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
                    "--alt\r\nContent-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
    m += QuotedPrintableText(textBytes);
    m += "--alt\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    m += bench::Base64(HtmlText(htmlBytes));
    m += "--alt--\r\n";
    for (std::size_t i = 0; i < attachments.size(); ++i) {
        std::string data(attachments[i], '\0');
        for (std::size_t j = 0; j < data.size(); ++j)
            data[j] = static_cast<char>((j * 7919 + i) & 0xFF);
        m += "--mix\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"part" +
             std::to_string(i) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        m += bench::Base64(data);
    }
    return m + "--mix--\r\n";
}

const std::string& Message50K()
{
    static const std::string m = MakeMessage(15 * 1024, 20 * 1024, {6 * 1024});
    return m;
}
const std::string& Message1M()
{
    static const std::string m = MakeMessage(100 * 1024, 200 * 1024, {500 * 1024});
    return m;
}
const std::string& Message20M()
{
    static const std::string m = MakeMessage(50 * 1024, 100 * 1024, {4900 * 1024, 4900 * 1024, 4900 * 1024});
    return m;
}

std::string WriteOnce(const std::string& name, const std::string& bytes)
{
    const std::string path = bench::BenchDir("quillory-mime-bench") + "/" + name;
    if (!std::filesystem::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    return path;
}

// Parsing as the reader does before its first paint: headers, texts, the attachment list.
void ParseAndRead(benchmark::State& state, const std::string& message)
{
    for (auto _ : state) {
        const auto document = MimeDocument::Parse(message);
        const MimeContent& content = document->Content();
        benchmark::DoNotOptimize(content.headers.strSubject.size() + content.html.value_or("").size() +
                                 content.attachments.size());
    }
    state.counters["message_KB"] = static_cast<double>(message.size()) / 1024;
}

void BM_Parse50KBMessage(benchmark::State& state) { ParseAndRead(state, Message50K()); }
BENCHMARK(BM_Parse50KBMessage)->Unit(benchmark::kMillisecond);

void BM_Parse20MBMessage(benchmark::State& state) { ParseAndRead(state, Message20M()); }
BENCHMARK(BM_Parse20MBMessage)->Unit(benchmark::kMillisecond)->Iterations(5);

const char* SelfPath()
{
    static const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    return self.c_str();
}

// Runs quillory-cli show with args, standard output to /dev/null; the child's resource usage.
bool RunShow(const std::vector<std::string>& args, rusage& usage)
{
    std::vector<std::string> all = {QUILLORY_CLI, "show"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, QUILLORY_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    if (::wait4(pid, &status, 0, &usage) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void ShowMessage(benchmark::State& state, const std::string& path)
{
    rusage usage {};
    for (auto _ : state)
        if (!RunShow({path}, usage))
            state.SkipWithError("show failed");
}

// Process start included: what a user waits for.
void BM_CliShowSmallMessage(benchmark::State& state)
{
    ShowMessage(state, WriteOnce("small.eml", "From: a@example.org\r\nSubject: small\r\n\r\nhello\r\n"));
}
BENCHMARK(BM_CliShowSmallMessage)->Unit(benchmark::kMillisecond);

void BM_CliShow1MBMessage(benchmark::State& state) { ShowMessage(state, WriteOnce("1mb.eml", Message1M())); }
BENCHMARK(BM_CliShow1MBMessage)->Unit(benchmark::kMillisecond);

// Peak resident memory (KB) of quillory-cli show with args, measured from a small process; -1 on
// failure.
long PeakRssOfShow(const std::vector<std::string>& args)
{
    std::string command = "'";
    command += SelfPath();
    command += "' --peak-rss '" QUILLORY_CLI "' show";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    long kb = -1;
    if (std::fscanf(pipe, "%ld", &kb) != 1)
        kb = -1;
    return ::pclose(pipe) == 0 ? kb : -1;
}

// The 20 MB message shown and its three attachments saved: time, and the process's peak memory
// against the message's size (and against a message of a few bytes, the program's own share).
void BM_CliShow20MBMessageSavingAttachments(benchmark::State& state)
{
    const std::string path = WriteOnce("20mb.eml", Message20M());
    const std::string out = bench::BenchDir("quillory-mime-bench") + "/attachments";
    rusage usage {};
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(out);
        state.ResumeTiming();
        if (!RunShow({path, "--attachments", out}, usage))
            state.SkipWithError("show failed");
    }
    std::filesystem::remove_all(out);
    const long peak = PeakRssOfShow({path, "--attachments", out});
    const long small = PeakRssOfShow({WriteOnce("small.eml", "From: a@example.org\r\nSubject: small\r\n\r\nhello\r\n")});
    const double size = static_cast<double>(std::filesystem::file_size(path));
    state.counters["message_MB"] = size / (1024 * 1024);
    state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024;
    state.counters["small_message_peak_rss_MB"] = static_cast<double>(small) / 1024;
    state.counters["peak_per_message_size"] = static_cast<double>(peak) * 1024 / size;
}
BENCHMARK(BM_CliShow20MBMessageSavingAttachments)->Unit(benchmark::kMillisecond)->Iterations(3);

// 100,000 folder messages. "encoded": every From, To and Subject an encoded word (koi8-r, latin-1,
// windows-1251), the hardest case for decoding; "plain": the generator's ASCII messages.
const std::string& Folder(bool bEncoded)
{
    static std::map<bool, std::string> made;
    auto it = made.find(bEncoded);
    if (it != made.end())
        return it->second;
    std::vector<dbxgen::Message> messages(100000);
    for (std::uint32_t i = 0; i < messages.size(); ++i) {
        if (!bEncoded) {
            messages[i].text = dbxgen::SampleMessage(i, 3000);
            continue;
        }
        std::string text = "Return-Path: <s" + std::to_string(i) + "@example.ru>\r\n";
        text += "From: =?koi8-r?B?8NLJ18XU?= <s" + std::to_string(i) + "@example.ru>\r\n";
        text += "To: =?iso-8859-1?Q?J=F6rg_M=FCller?= <j@example.de>\r\n";
        text += "Subject: =?windows-1251?B?z/Do4uXy?= " + std::to_string(i * 7919 % 100000) + "\r\n";
        text += "Date: Tue, 2 Jan 2001 10:00:00 +0100\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\n";
        text += std::string(3000, 'x');
        messages[i].text = text;
    }
    const std::string path = bench::BenchDir("quillory-mime-bench") + (bEncoded ? "/encoded.dbx" : "/plain.dbx");
    dbxgen::WriteFile(path, dbxgen::BuildFolder(messages));
    return made.emplace(bEncoded, path).first->second;
}

std::int32_t ListSorted(const std::string& path, bool bDecoded)
{
    CQuilloryApp app;
    app.m_bKeepRawHeaders = bDecoded;
    app.m_nSortMode = 3;
    bench::ListFolderInto(app, path);
    if (bDecoded)
        DecodeListingHeaders(app);
    app.SortEntries();
    return app.m_nItemCount;
}

// Arguments: encoded folder (1) or plain (0); decoded listing (1) or as stored (0).
void BM_List100000Sorted(benchmark::State& state)
{
    const std::string& path = Folder(state.range(0) != 0);
    const bool bDecoded = state.range(1) != 0;
    ListSorted(path, bDecoded);  // warm the cache
    std::int32_t listed = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(listed = ListSorted(path, bDecoded));
    state.counters["messages"] = listed;
}
BENCHMARK(BM_List100000Sorted)
    ->ArgNames({"encoded", "decoded"})
    ->Args({1, 0})->Args({1, 1})->Args({0, 0})->Args({0, 1})
    ->Unit(benchmark::kMillisecond)->Iterations(5);

// The decoding alone, of the 400,000 header lines of the encoded folder's listing.
void BM_DecodeListing100000(benchmark::State& state)
{
    const std::string& path = Folder(true);
    for (auto _ : state) {
        state.PauseTiming();
        CQuilloryApp app;
        app.m_bKeepRawHeaders = true;
        bench::ListFolderInto(app, path);
        state.ResumeTiming();
        benchmark::DoNotOptimize(DecodeListingHeaders(app));
        state.PauseTiming();
        app.DeleteAllEntries();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DecodeListing100000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

// Run as "mime_bench --peak-rss PROGRAM ARGS...": runs the program and prints its peak resident
// memory in KB. A process started by a large one inherits that one's peak in its own count, so
// the benchmark measures quillory-cli from this small process instead.
int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--peak-rss") {
        pid_t pid = 0;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid, argv[2], &actions, nullptr, argv + 2, environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        rusage usage {};
        if (rc != 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return 1;
        std::printf("%ld\n", usage.ru_maxrss);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
