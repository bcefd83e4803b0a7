#include "dbx/DbxLayout.h"

DbxNodeHeader ParseNodeHeader(std::span<const unsigned char, DBX_NODE_HEADER_SIZE> bytes)
{
    DbxNodeHeader node;
    node.nOwnOffset = LoadU32(&bytes[0x00]);
    node.nLeftChild = LoadU32(&bytes[0x08]);
    node.nLink = LoadU32(&bytes[0x0C]);
    node.nEntries = bytes[0x11];
    node.nMessagesUnder = LoadU32(&bytes[0x14]);
    return node;
}

DbxNodeEntry ParseNodeEntry(std::span<const unsigned char, DBX_NODE_ENTRY_SIZE> bytes)
{
    return DbxNodeEntry{LoadU32(&bytes[0]), LoadU32(&bytes[4]), LoadU32(&bytes[8])};
}

DbxBlockHeader ParseBlockHeader(std::span<const unsigned char, DBX_BLOCK_HEADER_SIZE> bytes)
{
    return DbxBlockHeader{LoadU32(&bytes[0x00]), LoadU32(&bytes[0x04]), LoadU32(&bytes[0x08]), LoadU32(&bytes[0x0C])};
}

DbxSlot ParseSlot(std::span<const unsigned char, DBX_SLOT_SIZE> bytes)
{
    return DbxSlot{static_cast<std::uint8_t>(bytes[0] & 0x7F), (bytes[0] & 0x80) != 0, LoadU24(&bytes[1])};
}
