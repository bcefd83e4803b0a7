#pragma once
// The messages of a mail-folder file, in index order: the records its index lists that name a
// chain of data blocks. The listing gathers each one's header lines from it; the export copies
// each one's chain. Both see the same messages in the same order, so a message's position here is
// its position in the listing (and the number in its default name).

#include <cstdint>
#include <vector>

#include "dbx/DbxSource.h"

struct DbxMessageRef {
    std::uint32_t nRecord = 0;      // its record
    std::uint32_t nFirstBlock = 0;  // the first data block the record names
};

struct DbxMessageList {
    std::vector<DbxMessageRef> messages;
    std::uint32_t nIndexMark = 0;   // the first node's link word, which marks the run's nodes
    // Something the file's own fields point at could not be read as laid out, or fewer messages
    // were found than nCount says the folder holds.
    bool bDamaged = false;
    // Records with slots were found, and none of them names a data block: the folder keeps only
    // header records and holds no message at all.
    bool bHeadersOnly = false;
};

// Walks the index of the file behind source, which holds nCount messages by its count word.
[[nodiscard]] DbxMessageList FindFolderMessages(DbxSource& source, std::uint32_t nCount);

// Reads the count word. False, with nCount 0, when the file is too short to hold one: such a file
// is damaged, not empty.
[[nodiscard]] bool ReadCountWord(DbxSource& source, std::uint32_t& nCount);
