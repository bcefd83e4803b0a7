#pragma once
// An owning, zero-initialised byte block: what the program once kept as movable global memory.
// "Locking" is just taking the data pointer; the block frees itself.

#include <cstddef>
#include <vector>

using MemoryBlock = std::vector<unsigned char>;

// A zero-filled block of n bytes.
[[nodiscard]] inline MemoryBlock AllocZeroed(std::size_t n) { return MemoryBlock(n, 0); }
