#pragma once
// The commands of quillory-cli. Each returns the process's exit status.

// quillory-cli list PATH [--sort entry|from|to|subject]
int RunList(int argc, char** argv);
// quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite]
int RunExtract(int argc, char** argv);
// quillory-cli export SOURCE OUTDIR [--format mbox|maildir|eml] [--recursive] [--into-existing]
int RunExport(int argc, char** argv);
