#pragma once

// The AES instructions of x86-64 processors, for many ECB blocks at once.
// Round keys are the word arrays of ElAES.h: their little-endian bytes are
// exactly the round-key layout the instructions expect, and the decryption
// schedule there is the equivalent-inverse one that AESDEC works with.

#include <cstddef>
#include <cstdint>

namespace aesni {

// True when this build has the hardware path and the processor supports it.
bool supported();

// In place over blocks × 16 bytes; rounds is 10, 12 or 14. Only to be called
// when supported() is true.
void encryptBlocks(const uint32_t* roundKeys, int rounds, uint8_t* data, size_t blocks);
void decryptBlocks(const uint32_t* roundKeys, int rounds, uint8_t* data, size_t blocks);

} // namespace aesni
