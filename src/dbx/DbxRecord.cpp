#include "dbx/DbxRecord.h"

#include "dbx/DbxLayout.h"

DbxRecordKind ReadMessageRecord(DbxSource& source, std::uint32_t nRecord, std::uint32_t& nFirstBlock)
{
    unsigned char fixed[DBX_RECORD_FIXED_SIZE];
    if (!source.ReadExact(nRecord, fixed, sizeof fixed))
        return DbxRecordKind::Unreadable;
    if (LoadU32(fixed) != nRecord)
        return DbxRecordKind::NotAMessage;
    const std::uint32_t nSlots = fixed[10];
    if (nSlots == 0)
        return DbxRecordKind::NotAMessage;
    unsigned char slots[255 * DBX_SLOT_SIZE];
    const std::size_t got = source.ReadSome(std::uint64_t{nRecord} + DBX_RECORD_FIXED_SIZE, slots, nSlots * DBX_SLOT_SIZE);
    for (std::uint32_t i = 0; i < nSlots; ++i) {
        if ((i + 1) * DBX_SLOT_SIZE > got)
            return DbxRecordKind::Unreadable;  // the slot table runs past the end of the file
        const DbxSlot slot = ParseSlot(std::span<const unsigned char, DBX_SLOT_SIZE>(slots + i * DBX_SLOT_SIZE, DBX_SLOT_SIZE));
        if (slot.nId != DBX_ATTR_DATA_BLOCK)
            continue;
        if (slot.bDirect) {
            nFirstBlock = slot.nValue;
            return DbxRecordKind::Message;
        }
        const std::uint64_t at = std::uint64_t{nRecord} + DBX_RECORD_FIXED_SIZE + nSlots * DBX_SLOT_SIZE + slot.nValue;
        return source.ReadU32(at, nFirstBlock) ? DbxRecordKind::Message : DbxRecordKind::Unreadable;
    }
    return DbxRecordKind::NoDataBlock;
}
