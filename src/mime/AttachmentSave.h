#pragma once
// Saving a message's attachments as files: one to a path the user chose, or one or all into a
// directory under their sanitised names, where a name that is taken gets a number ("a (2).pdf")
// and no existing file is ever replaced, not even one that appears while saving. Each file is
// written whole or not at all (AtomicFileWriter). Results are data: the window and the command line
// word them for their users.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"

class MimeDocument;

struct SavedAttachment {
    std::size_t nIndex = 0;   // the attachment, as MimeContent::attachments counts them
    std::string strPath;      // the file written; "" when none was
    std::string strProblem;   // "" when the file holds the whole attachment; else one sentence
    bool bCancelled = false;  // stopped by its progress callback: no file was written, nothing to tell
};

// Told, after each piece written, how many bytes of the attachment being saved are written so
// far; returning false stops the save there, and the file it was writing is not kept.
using SaveBytesProgress = std::function<bool(std::uint64_t nWritten)>;

// Saves attachment nIndex to strPath exactly (the caller asked about an existing file; existing
// says what to do with one).
[[nodiscard]] SavedAttachment SaveAttachmentAs(const MimeDocument& document, std::size_t nIndex,
                                               const std::string& strPath, ExistingFile existing,
                                               const SaveBytesProgress& written = {});

// Saves attachment nIndex into the existing directory strDirectory under its sanitised name,
// numbered when the name is taken.
[[nodiscard]] SavedAttachment SaveAttachmentInto(const MimeDocument& document, std::size_t nIndex,
                                                 const std::string& strDirectory,
                                                 const SaveBytesProgress& written = {});

// Saves every attachment into strDirectory as SaveAttachmentInto does, in message order. Before
// each one progress(done, total) is called, when given; returning false stops the run there (the
// files already saved stay). written is told of each attachment's bytes as SaveAttachmentAs says;
// a save it stops ends the run too. Returns one result per attachment attempted.
[[nodiscard]] std::vector<SavedAttachment> SaveAllAttachments(
    const MimeDocument& document, const std::string& strDirectory,
    const std::function<bool(std::size_t done, std::size_t total)>& progress = {},
    const SaveBytesProgress& written = {});
