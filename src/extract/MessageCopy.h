#pragma once
// The one way a stored message becomes a file of its own, shared by the window's save and the
// command line's extraction. The bytes go through a fixed staging buffer into a temporary file
// beside the destination, which takes the destination's name only once the whole message is
// there: a failed, partial or refused save never destroys an existing file, a save told to keep
// existing files never replaces one (not even one that appears during the copy), and a message of
// any size is saved with the same small memory.

#include <cstdint>
#include <string>

#include "model/listax.h"
#include "platform/AtomicFile.h"
#include "platform/File.h"

enum class SaveResult {
    Saved,
    DestinationRefused,  // the source itself, a file held open exclusively, or not a regular file
    SourceIncomplete,    // the message could not be read whole (a damaged chain, a short file)
    WriteFailed,         // the temporary file could not be written, flushed or renamed
    DestinationTaken,    // a file is at the destination, and the save was told to keep it
    SourceChanged,       // the mail-folder file no longer holds the listed message where it was
};

// A folder message as the listing found it: the save checks that the file still holds it there.
struct ListedMessage {
    std::uint32_t nRecord = 0;      // its record (none for a recovered message)
    std::uint32_t nFirstBlock = 0;  // the first data block that record named
    std::uint64_t nSize = 0;        // the bytes its chain held
    // A recovered message has no record to check; its chain is walked as the scan walked it, a
    // partial one through blocks that lost their own offset and no further than nSize bytes.
    MessageRecovery recovery = MessageRecovery::None;
};

// The listed message of a folder-message entry.
[[nodiscard]] ListedMessage ListedMessageOf(const listaf& entry);

// What a walk of a listed message's chain found, to be set against the listing.
struct ListedWalk {
    bool bRecordNamesIt = true;  // the record still names the chain (a recovered message has none)
    bool bShort = false;         // the file held fewer bytes than a block said: it shrank meanwhile
    bool bDamaged = false;       // the walk ended at damage
    std::uint64_t nBytes = 0;    // the bytes the chain held
};
enum class ListedState { AsListed, Changed, Damaged };
// Whether the file still holds the message as it was listed, the same for every way of reading it
// again (saving, extracting, exporting, showing): the record must still name the chain and the
// chain must hold as many bytes, or the file changed; only then is damage the damage the listing
// met (or, for a recovered message, which the scan followed to its end, a change).
[[nodiscard]] ListedState JudgeListedWalk(const ListedMessage& listed, const ListedWalk& walk);

// What the user is told when a save ended with result: "" for Saved, else one line naming the
// file concerned ("Error on opening file %s" for a refused destination).
[[nodiscard]] std::string SaveFailureText(SaveResult result, const std::string& strSource,
                                          const std::string& strDestination);

// Saves the listed message of the open mail-folder file folder. Nothing is written unless the
// file still holds, where the listing found it, a record that names the same first block (for a
// message listed through the index) and a chain of the same size; a file changed since gives
// SourceChanged. A partial recovered message is saved as far as it was recovered. options say whether a file at
// the destination is replaced (the default) or kept.
[[nodiscard]] SaveResult SaveChainAs(const CFile& folder, const ListedMessage& message, const std::string& strDestination,
                                     AtomicWriteOptions options = {});
// Saves the chain that starts at nFirstBlock as it is now, for a caller that has no listing.
[[nodiscard]] SaveResult SaveChainAs(const CFile& folder, std::uint32_t nFirstBlock, const std::string& strDestination,
                                     AtomicWriteOptions options = {});

// The same in two steps, for a caller that must act between opening the destination and copying.
// Opening refuses what MayWriteCopyTo refuses and creates the temporary file; the copy then puts
// it in place, or removes it when the copy is not whole or the destination was taken.
[[nodiscard]] bool OpenCopyDestination(AtomicFileWriter& writer, const std::string& strDestination,
                                       const FileIdentity& source, AtomicWriteOptions options = {});
// With listed, the copy is checked against it as SaveChainAs describes.
[[nodiscard]] SaveResult CopyChainTo(const CFile& folder, std::uint32_t nFirstBlock, AtomicFileWriter& writer,
                                     const ListedMessage* listed = nullptr);
[[nodiscard]] SaveResult CopyFileTo(CFile& source, AtomicFileWriter& writer);

// True when strDestination may receive a copy of the file source: it does not exist yet, or it is
// a regular file that is neither source itself (same device and inode, whatever the path) nor a
// file this process holds open exclusively.
[[nodiscard]] bool MayWriteCopyTo(const std::string& strDestination, const FileIdentity& source);
