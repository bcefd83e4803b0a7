#pragma once
// The commands of quillory-cli. Each returns the process's exit status.

// quillory-cli list PATH [--sort entry|from|to|subject] [--recover]
int RunList(int argc, char** argv);
// quillory-cli extract PATH OUTDIR [NAME ...] [--overwrite] [--recover]
int RunExtract(int argc, char** argv);
// quillory-cli show PATH [MSGNAME] [--html] [--attachments OUTDIR]
int RunShow(int argc, char** argv);
// quillory-cli export SOURCE OUTDIR [--format mbox|maildir|eml] [--recursive] [--into-existing]
int RunExport(int argc, char** argv);
