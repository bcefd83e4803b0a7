#pragma once
// A message record: where the reader finds which chain of data blocks holds a stored message. Read
// by the listing for every entry of the index, and again by a save, to make sure the record still
// names the chain it named when the folder was listed.

#include <cstdint>

#include "dbx/DbxSource.h"

enum class DbxRecordKind {
    Message,      // a record with a data-block attribute
    NotAMessage,  // its first word is not its own offset, or it has no slots
    Unreadable,   // it, its slots or its indirect attribute run past the end of the file
    NoDataBlock,  // slots, but none with the data-block attribute
};

// Reads the record at nRecord; for a Message, nFirstBlock receives its first data block.
[[nodiscard]] DbxRecordKind ReadMessageRecord(DbxSource& source, std::uint32_t nRecord, std::uint32_t& nFirstBlock);
