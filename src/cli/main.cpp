// quillory-cli: the listing, extraction, reading and export of the window, from the command line.

#include <iostream>
#include <string>

#include "cli/CliOutput.h"
#include "cli/Commands.h"

namespace {

constexpr std::string_view kUsage =
    "usage: quillory-cli list PATH [--sort entry|from|to|subject] [--recover]\n"
    "       quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite] [--recover]\n"
    "       quillory-cli show PATH [MSGNAME] [--html] [--attachments OUTDIR]\n"
    "       quillory-cli export SOURCE OUTDIR [--format mbox|maildir|eml] [--recursive]\n"
    "                           [--into-existing] [--recover]\n"
    "       quillory-cli --help | --version\n";

constexpr std::string_view kHelp =
    "quillory-cli lists, extracts, shows and exports stored mail, as the Quillory window does.\n"
    "\n"
    "  quillory-cli list PATH [--sort entry|from|to|subject] [--recover]\n"
    "      One JSON object a line for each entry of the directory PATH, or for each message\n"
    "      of the mail-folder file PATH (.dbx). --sort orders them as the window's Order by.\n"
    "      --recover also lists the messages a scan finds outside the folder's index\n"
    "      (Rec00001 ...); a damaged index is scanned without it.\n"
    "  quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite] [--recover]\n"
    "      Writes the messages of the mail-folder file PATH, or those NAMEs (Msg00001 ...),\n"
    "      into OUTDIR as .eml files and prints each name written. An existing file is kept\n"
    "      (and the exit status is 1) unless --overwrite is given. --recover writes the\n"
    "      recovered messages too.\n"
    "  quillory-cli show PATH [MSGNAME] [--html] [--attachments OUTDIR]\n"
    "      Prints the message file PATH, or the message MSGNAME of the mail-folder file PATH,\n"
    "      decoded: its From, To, Cc, Date and Subject lines, an empty line, then its text\n"
    "      (the HTML text with --html, or when it has no plain text). --attachments saves its\n"
    "      attachments into OUTDIR, never replacing a file, and prints each name written.\n"
    "  quillory-cli export SOURCE OUTDIR [--format mbox|maildir|eml] [--recursive]\n"
    "                      [--into-existing] [--recover]\n"
    "      Writes the mail-folder file SOURCE, or every mail folder and message file of the\n"
    "      directory SOURCE (and, with --recursive, of its sub-directories, mirrored), into the\n"
    "      new or empty directory OUTDIR: one mbox file (mboxrd, the default), Maildir or\n"
    "      directory of .eml files per folder. --into-existing writes into a directory that\n"
    "      has files, never replacing one. --recover exports the recovered messages too.\n"
    "  quillory-cli --help       this text\n"
    "  quillory-cli --version    the version\n"
    "\n"
    "Exit status: 0 when all went well; 1 when something could not be read or written, said on\n"
    "stderr; 2 on wrong usage. The settings of the window are never read or written.\n"
    "More in quillory-cli(1).\n";

// Help and version go to stdout, which may be full or closed like any other output.
int Print(std::string_view text)
{
    StdoutWriter output;
    output.Write(text);
    return output.Finish() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = argv[1];
    if (command == "list")
        return RunList(argc, argv);
    if (command == "extract")
        return RunExtract(argc, argv);
    if (command == "show")
        return RunShow(argc, argv);
    if (command == "export")
        return RunExport(argc, argv);
    if (command == "--help" || command == "-h")
        return Print(kHelp);
    if (command == "--version")
        return Print(std::string(kCliName) + " " + QUILLORY_VERSION + "\n");
    return WrongUsage("no command " + command, kUsage);
}
