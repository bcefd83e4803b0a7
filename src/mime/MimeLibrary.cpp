#include "mime/MimeLibrary.h"

#include <mutex>

#include <gmime/gmime.h>

void InitMimeLibrary()
{
    static std::once_flag once;
    // Never shut down: parsed messages may outlive any point where that would be safe, and the
    // process's end frees everything anyway.
    std::call_once(once, [] { g_mime_init(); });
}
