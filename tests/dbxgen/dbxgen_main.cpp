// quillory-dbxgen: writes a made-up mail-folder file, for demos and benchmarks.

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <iostream>
#include <string>

#include "dbxgen/DbxGen.h"

namespace {

int Usage()
{
    std::cerr << "usage: quillory-dbxgen OUT.dbx [--messages N] [--body BYTES] [--block BYTES]\n"
                 "                       [--layout packed|scattered] [--per-node N]\n"
                 "                       [--header BYTES] [--zero-index]\n"
                 "                       [--unindexed-every N] [--deleted-every N] [--message FILE ...]\n"
                 "--zero-index zeroes every index node; --unindexed-every N leaves every Nth message\n"
                 "out of the index; --deleted-every N also overwrites its blocks' own-offset words.\n"
                 "--message stores the bytes of FILE as a message (repeat it for more); without it,\n"
                 "--messages N made-up messages of about --body BYTES each are stored.\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string out;
    std::uint32_t count = 20;
    std::size_t body = 600;
    std::uint32_t block = 512;
    std::uint32_t unindexedEvery = 0;
    std::uint32_t deletedEvery = 0;
    dbxgen::Options options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--messages" && hasValue)
            count = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--body" && hasValue)
            body = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--block" && hasValue)
            block = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--header" && hasValue)
            options.nHeaderSize = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--zero-index")
            options.bZeroIndex = true;
        else if (arg == "--unindexed-every" && hasValue)
            unindexedEvery = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--deleted-every" && hasValue)
            deletedEvery = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--message" && hasValue)
            files.push_back(argv[++i]);
        else if (arg == "--per-node" && hasValue)
            options.nEntriesPerNode = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else if (arg == "--layout" && hasValue) {
            const std::string layout = argv[++i];
            if (layout == "packed")
                options.layout = dbxgen::Layout::Packed;
            else if (layout == "scattered")
                options.layout = dbxgen::Layout::Scattered;
            else
                return Usage();
        } else if (arg.rfind("--", 0) == 0 || !out.empty())
            return Usage();
        else
            out = arg;
    }
    if (out.empty() || block == 0)
        return Usage();
    std::vector<dbxgen::Message> messages(files.empty() ? count : files.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (files.empty()) {
            messages[i].text = dbxgen::SampleMessage(static_cast<std::uint32_t>(i), body);
        } else {
            std::ifstream in(files[i], std::ios::binary);
            if (!in) {
                std::cerr << "quillory-dbxgen: cannot read " << files[i] << "\n";
                return 1;
            }
            messages[i].text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        messages[i].nBlockSize = block;
        messages[i].bUnindexed = (unindexedEvery && (i + 1) % unindexedEvery == 0) ||
                                 (deletedEvery && (i + 1) % deletedEvery == 0);
        if (deletedEvery && (i + 1) % deletedEvery == 0)
            messages[i].nLostOwnOffset = 0;
    }
    if (!dbxgen::WriteFile(out, dbxgen::BuildFolder(messages, options))) {
        std::cerr << "quillory-dbxgen: cannot write " << out << "\n";
        return 1;
    }
    return 0;
}
