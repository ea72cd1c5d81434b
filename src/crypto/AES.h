#pragma once

// The string and file cipher: texts and whole files enciphered with AES in
// ECB mode behind an 8-byte length header.
//
// Byte strings are std::strings of bytes, taken unchanged; paths are UTF-8.
// Key size selector: 0 = AES-128, 1 = AES-192, 2 = AES-256. The key string's
// first 16/24/32 bytes are the key, zero-filled when the string is shorter.
//
// Encrypted file form: the plain size as a signed 64-bit little-endian
// integer, then the ECB ciphertext, the last block zero-filled when short.
// Hex string cipher: the same bytes (header and ciphertext) as uppercase hex.
//
// Errors: EAESError, EStreamError, EReadError, EWriteError, EFOpenError,
// EFCreateError and EConvertError, all derived from Exception.

#include "Exception.h"
#include "crypto/ElAES.h"

#include <cstdint>
#include <string>

// The key every e-book in the store is enciphered with (selector 2).
inline constexpr const char* kEbookKey = "4817xqvmtn52pzdkrwc3ya90bulhe6so";

// Two uppercase hexadecimal digits per byte.
std::string StrToHex(const std::string& bytes);

// Pairs of hexadecimal digits (either case) to bytes; an odd last digit makes
// a byte of its own. EConvertError "'0x..' is not a valid integer value".
std::string HexToStr(const std::string& text);

std::string AesEncryptString(const std::string& text, const std::string& key, uint8_t keySize);
std::string AesDecryptString(const std::string& hex, const std::string& key, uint8_t keySize);

// The destination is created anew (an existing file is replaced). After a
// failure it stays as far as it was written.
void AesEncryptFile(const std::string& source, const std::string& dest, const std::string& key, uint8_t keySize);
void AesDecryptFile(const std::string& source, const std::string& dest, const std::string& key, uint8_t keySize);

// The encrypted file form over streams, for the readers and writers that hold
// no whole file (format/StoreFile.h): the length header of source's size, then
// source from its start enciphered into dest.
void AesEncryptToStream(TStream& source, TStream& dest, const std::string& key, uint8_t keySize);
// The plain length the header at the source's position records; EReadError when it is short.
int64_t AesReadLengthHeader(TStream& source);
// Whether cipherBytes after a header recording length are a whole form: EAESError
// "Invalid buffer size for decryption" when they are none or not whole blocks,
// "Invalid length header in encrypted file" when the length does not fit in them.
void AesCheckForm(int64_t length, int64_t cipherBytes);

// The plain bytes of an encrypted file, kept in memory only: the same bytes and
// the same errors as AesDecryptFile, without a destination to create.
std::string AesDecryptFileToString(const std::string& source, const std::string& key, uint8_t keySize);
