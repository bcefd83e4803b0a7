// The yardstick for extraction: writes every message of a mail-folder file as a file of its own
// the plainest way there is (open, one write, close; no temporary name, no flush), reading the
// messages with the program's own reader, so that only the writing differs from `extract`.
//
//   plain_write_baseline FOLDER.dbx OUTDIR

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "dbx/DbxBlockChain.h"
#include "dbx/DbxMessageList.h"
#include "dbx/DbxSource.h"
#include "platform/File.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: plain_write_baseline FOLDER.dbx OUTDIR\n");
        return 2;
    }
    CFile file;
    if (!file.Open(argv[1], CFile::modeRead | CFile::typeBinary))
        return 1;
    ::mkdir(argv[2], 0777);
    const int dir = ::open(argv[2], O_RDONLY | O_DIRECTORY);
    if (dir < 0)
        return 1;
    DbxSource source(file);
    std::uint32_t count = 0;
    if (!ReadCountWord(source, count))
        return 1;
    const DbxMessageList list = FindFolderMessages(source, count);
    DbxBlockSet passed(source.Size());
    std::vector<char> buffer;
    std::size_t n = 0;
    for (const DbxMessageRef& message : list.messages) {
        buffer.clear();
        DbxBlockChain chain(source, message.nFirstBlock, passed);
        while (chain.Next()) {
            const std::size_t used = buffer.size();
            buffer.resize(used + chain.Count());
            buffer.resize(used + source.ReadSome(chain.DataOffset(), buffer.data() + used, chain.Count()));
        }
        char name[32];
        std::snprintf(name, sizeof name, "Msg%05zu.eml", ++n);
        const int fd = ::openat(dir, name, O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0 || ::write(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size()))
            return 1;
        ::close(fd);
    }
    ::close(dir);
    return 0;
}
