#pragma once

// The AES block cipher of FIPS-197 for 128-, 192- and 256-bit keys, and the
// electronic-codebook (ECB) routines that run it over streams.
//
// Word layout: a block or key is read as 32-bit words, word i holding bytes
// 4i..4i+3 with byte 4i in the low position. Round key r is words 4r..4r+3.
// A decryption schedule is the encryption schedule with InvMixColumns applied
// to round keys 1..Nr-1 (the equivalent inverse cipher), in the same order.

#include "Exception.h"
#include "crypto/Streams.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The cipher's own error.
class EAESError : public Exception
{
public:
    using Exception::Exception;
};

using AesKey128 = std::array<uint8_t, 16>;
using AesKey192 = std::array<uint8_t, 24>;
using AesKey256 = std::array<uint8_t, 32>;
using AesBlock = std::array<uint8_t, 16>;

// 11, 13 and 15 round keys of four words. The 192- and 256-bit schedules are
// filled in whole groups of Nk words, so their last 2 and 4 words are unused.
using AesRoundKeys128 = std::array<uint32_t, 44>;
using AesRoundKeys192 = std::array<uint32_t, 54>;
using AesRoundKeys256 = std::array<uint32_t, 64>;

void AesExpandEncryptKey(const AesKey128& key, AesRoundKeys128& roundKeys);
void AesExpandEncryptKey(const AesKey192& key, AesRoundKeys192& roundKeys);
void AesExpandEncryptKey(const AesKey256& key, AesRoundKeys256& roundKeys);

void AesExpandDecryptKey(const AesKey128& key, AesRoundKeys128& roundKeys);
void AesExpandDecryptKey(const AesKey192& key, AesRoundKeys192& roundKeys);
void AesExpandDecryptKey(const AesKey256& key, AesRoundKeys256& roundKeys);

// Converts an encryption schedule into the decryption schedule in place.
void AesExpandDecryptKey(AesRoundKeys128& roundKeys);
void AesExpandDecryptKey(AesRoundKeys192& roundKeys);
void AesExpandDecryptKey(AesRoundKeys256& roundKeys);

// One block; in and out may be the same storage. Decryption needs a
// decryption schedule; nothing checks it.
void AesEncryptBlock(const AesBlock& in, const AesRoundKeys128& roundKeys, AesBlock& out);
void AesEncryptBlock(const AesBlock& in, const AesRoundKeys192& roundKeys, AesBlock& out);
void AesEncryptBlock(const AesBlock& in, const AesRoundKeys256& roundKeys, AesBlock& out);
void AesDecryptBlock(const AesBlock& in, const AesRoundKeys128& roundKeys, AesBlock& out);
void AesDecryptBlock(const AesBlock& in, const AesRoundKeys192& roundKeys, AesBlock& out);
void AesDecryptBlock(const AesBlock& in, const AesRoundKeys256& roundKeys, AesBlock& out);

// ECB over count bytes of source, from its current position, written to dest
// at its position. A count of 0 means the whole source from position 0; a
// larger count is cut to what is left. Encryption fills a short last block
// with zero bytes; decryption needs a multiple of 16 (EAESError "Invalid
// buffer size for decryption", raised before anything moves). A short read or
// write raises EStreamError "Stream read error" / "Stream write error", and
// dest then holds exactly what a block-by-block run would have written.
void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesKey128& key, TStream& dest);
void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesKey192& key, TStream& dest);
void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesKey256& key, TStream& dest);
void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys128& roundKeys, TStream& dest);
void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys192& roundKeys, TStream& dest);
void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys256& roundKeys, TStream& dest);

void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesKey128& key, TStream& dest);
void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesKey192& key, TStream& dest);
void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesKey256& key, TStream& dest);
void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys128& roundKeys, TStream& dest);
void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys192& roundKeys, TStream& dest);
void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys256& roundKeys, TStream& dest);

// ECB decryption of blocks × 16 bytes in place, in memory (the stream routines'
// inner step, for readers that fetch the ciphertext themselves).
void AesDecryptBlocksEcb(const AesRoundKeys256& roundKeys, uint8_t* data, size_t blocks);

// The stream routines use the processor's AES instructions when it has them
// (same bytes, much faster). The table cipher can be forced, for comparison,
// by AesForcePortable(true) or by the environment variable QINGHE_AES_PORTABLE=1.
bool AesHardwareAvailable();
void AesForcePortable(bool force);
bool AesUsingHardware();
