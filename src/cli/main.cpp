// quillory-cli: the listing and extraction of the window, from the command line.

#include <cstring>
#include <iostream>

#include "cli/Commands.h"

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "list") == 0)
        return RunList(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "extract") == 0)
        return RunExtract(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "export") == 0)
        return RunExport(argc, argv);
    std::cerr << "usage: quillory-cli list PATH [--sort entry|from|to|subject]\n"
                 "       quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite]\n"
                 "       quillory-cli export SOURCE OUTDIR [--format mbox|maildir|eml] [--recursive] [--into-existing]\n";
    return 2;
}
