#include "crypto/AES.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int64_t kHeaderSize = 8;

using Header = std::array<uint8_t, kHeaderSize>;

Header encodeLength(int64_t length)
{
    Header h;
    for (size_t i = 0; i < h.size(); ++i)
        h[i] = static_cast<uint8_t>(static_cast<uint64_t>(length) >> (8 * i));
    return h;
}

int64_t decodeLength(const Header& h)
{
    uint64_t v = 0;
    for (size_t i = 0; i < h.size(); ++i)
        v |= uint64_t(h[i]) << (8 * i);
    return static_cast<int64_t>(v);
}

// No caller passes anything but 0, 1 or 2; anything else must not pass data
// through unenciphered.
void checkKeySize(uint8_t keySize)
{
    if (keySize > 2)
        throw EAESError("Invalid key size selector");
}

template <class Key> Key keyBuffer(const std::string& key)
{
    Key buffer {};
    std::memcpy(buffer.data(), key.data(), std::min(buffer.size(), key.size()));
    return buffer;
}

void encryptStream(TStream& source, uint64_t count, const std::string& key, uint8_t keySize, TStream& dest)
{
    switch (keySize) {
    case 0:
        return AesEncryptStreamEcb(source, count, keyBuffer<AesKey128>(key), dest);
    case 1:
        return AesEncryptStreamEcb(source, count, keyBuffer<AesKey192>(key), dest);
    default:
        return AesEncryptStreamEcb(source, count, keyBuffer<AesKey256>(key), dest);
    }
}

void decryptStream(TStream& source, uint64_t count, const std::string& key, uint8_t keySize, TStream& dest)
{
    switch (keySize) {
    case 0:
        return AesDecryptStreamEcb(source, count, keyBuffer<AesKey128>(key), dest);
    case 1:
        return AesDecryptStreamEcb(source, count, keyBuffer<AesKey192>(key), dest);
    default:
        return AesDecryptStreamEcb(source, count, keyBuffer<AesKey256>(key), dest);
    }
}

// The recorded length must fit in what the ciphertext holds. Only checked
// when the ciphertext itself is well formed; otherwise the stream routine
// reports that first.
void checkLength(int64_t length, int64_t cipherBytes)
{
    if (cipherBytes > 0 && cipherBytes % 16 == 0 && (length < 0 || length > cipherBytes))
        throw EAESError("Invalid length header in encrypted file");
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

void AesEncryptToStream(TStream& source, TStream& dest, const std::string& key, uint8_t keySize)
{
    checkKeySize(keySize);
    const Header header = encodeLength(source.size());
    dest.writeBuffer(header.data(), kHeaderSize);
    encryptStream(source, 0, key, keySize, dest);
}

int64_t AesReadLengthHeader(TStream& source)
{
    Header header;
    source.readBuffer(header.data(), kHeaderSize);
    return decodeLength(header);
}

void AesCheckForm(int64_t length, int64_t cipherBytes)
{
    if (cipherBytes <= 0 || cipherBytes % 16 != 0)
        throw EAESError("Invalid buffer size for decryption");
    checkLength(length, cipherBytes);
}

std::string StrToHex(const std::string& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(bytes.size() * 2, '0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        text[2 * i] = kDigits[b >> 4];
        text[2 * i + 1] = kDigits[b & 0x0F];
    }
    return text;
}

std::string HexToStr(const std::string& text)
{
    std::string bytes;
    bytes.reserve((text.size() + 1) / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const size_t n = std::min<size_t>(2, text.size() - i);
        int value = 0;
        for (size_t j = 0; j < n; ++j) {
            const int digit = hexValue(text[i + j]);
            if (digit < 0)
                throw EConvertError("'0x" + text.substr(i, n) + "' is not a valid integer value");
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::string AesEncryptString(const std::string& text, const std::string& key, uint8_t keySize)
{
    TMemoryStream source(text);
    TMemoryStream dest;
    AesEncryptToStream(source, dest, key, keySize);
    return StrToHex(dest.bytes());
}

std::string AesDecryptString(const std::string& hex, const std::string& key, uint8_t keySize)
{
    checkKeySize(keySize);
    TMemoryStream source(HexToStr(hex));
    const int64_t length = AesReadLengthHeader(source);
    const int64_t cipherBytes = source.size() - kHeaderSize;
    checkLength(length, cipherBytes);

    TMemoryStream dest;
    decryptStream(source, static_cast<uint64_t>(cipherBytes), key, keySize, dest);
    std::string text = dest.takeBytes();
    text.resize(static_cast<size_t>(length));
    return text;
}

void AesEncryptFile(const std::string& source, const std::string& dest, const std::string& key, uint8_t keySize)
{
    checkKeySize(keySize);
    TFileStream in(source, TFileStream::Mode::OpenRead);
    // Creating the destination over the source itself would empty it before it is read.
    if (in.isSameFile(dest))
        throw EFCreateError("Cannot create file \"" + TFileStream::fullPath(dest) + "\". " + std::strerror(EBUSY));
    TFileStream out(dest, TFileStream::Mode::Create);
    AesEncryptToStream(in, out, key, keySize);
    out.close();
}

void AesDecryptFile(const std::string& source, const std::string& dest, const std::string& key, uint8_t keySize)
{
    checkKeySize(keySize);
    TFileStream in(source, TFileStream::Mode::OpenRead);
    const int64_t length = AesReadLengthHeader(in);

    if (in.isSameFile(dest))
        throw EFCreateError("Cannot create file \"" + TFileStream::fullPath(dest) + "\". " + std::strerror(EBUSY));
    TFileStream out(dest, TFileStream::Mode::Create);

    // A damaged header leaves the destination empty, like a damaged length.
    const int64_t cipherBytes = in.size() - kHeaderSize;
    checkLength(length, cipherBytes);
    decryptStream(in, static_cast<uint64_t>(cipherBytes), key, keySize, out);
    out.setSize(length);
    out.close();
}

std::string AesDecryptFileToString(const std::string& source, const std::string& key, uint8_t keySize)
{
    checkKeySize(keySize);
    TFileStream in(source, TFileStream::Mode::OpenRead);
    const int64_t length = AesReadLengthHeader(in);

    const int64_t cipherBytes = in.size() - kHeaderSize;
    checkLength(length, cipherBytes);
    // The whole plaintext at once: no growing copies of a large document.
    std::string buffer;
    buffer.reserve(static_cast<size_t>(std::max<int64_t>(cipherBytes, 0)));
    TMemoryStream out(std::move(buffer));
    decryptStream(in, static_cast<uint64_t>(cipherBytes), key, keySize, out);
    std::string plain = out.takeBytes();
    plain.resize(static_cast<size_t>(length));
    return plain;
}
