#pragma once

// The store file: an e-book's plain bytes in the cipher's encrypted file form
// (crypto/AES.h: the plain length as an 8-byte header, then AES ECB blocks)
// with the e-book key and selector 2. The store (EbookStore), the text
// companions (Companion) and the random-access device (EncryptedPdfDevice)
// all read and write it through here; nothing else knows the layout.

#include "crypto/ElAES.h"

#include <QString>

#include <memory>
#include <string>

class TFileStream;
class TStream;

namespace StoreFile {

inline constexpr qint64 headerSize = 8;

// Writes the form of all of plain (from its start) into out: header, then blocks.
void write(TStream& plain, TStream& out);
// The form of bytes held in memory.
std::string enciphered(const std::string& plain);

// The plain bytes of a store file, deciphered into memory only. The cipher's
// errors: EFOpenError, EReadError for a short header, EAESError for a damaged form.
std::string readAll(const QString& path);

// A store file opened for reading any part of it, block-aligned.
class Reader
{
public:
    // Opens path and checks its form before anything is read: EFOpenError when
    // it cannot be opened, EReadError "Stream read error" when its length header
    // is short, EAESError when its ciphertext is empty or not whole blocks, or
    // its header records more bytes than it holds.
    explicit Reader(const QString& path);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    qint64 plainSize() const { return m_length; }
    qint64 cipherSize() const { return m_cipherBytes; }
    // Deciphers bytes (a multiple of 16) of the ciphertext from offset from
    // (a multiple of 16) into into; false when the file ends early.
    bool decipher(qint64 from, char* into, qint64 bytes);

private:
    std::unique_ptr<TFileStream> m_file;
    AesRoundKeys256 m_roundKeys {};
    qint64 m_length = 0;
    qint64 m_cipherBytes = 0;
};

} // namespace StoreFile
