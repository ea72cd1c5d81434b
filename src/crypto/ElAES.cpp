#include "crypto/ElAES.h"

#include "crypto/AesNi.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace {

// ---------------------------------------------------------------------------
// Constant tables, computed by the compiler from the definitions of FIPS-197.

constexpr uint8_t xtime(uint8_t x)
{
    return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0x00));
}

constexpr uint8_t gmul(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    for (; b != 0; b >>= 1, a = xtime(a)) {
        if (b & 1)
            product ^= a;
    }
    return product;
}

struct CipherTables
{
    std::array<uint32_t, 256> encRound {}; // 2•S(x), S(x), S(x), 3•S(x)
    std::array<uint32_t, 256> sbox {}; // S(x), 0, 0, 0
    std::array<uint32_t, 256> decRound {}; // 14•S⁻¹(x), 9•S⁻¹(x), 13•S⁻¹(x), 11•S⁻¹(x)
    std::array<uint32_t, 256> invSbox {}; // S⁻¹(x), 0, 0, 0
    std::array<uint32_t, 11> rcon {}; // indexed from 1
};

constexpr CipherTables makeTables()
{
    // S(x) is the affine map of the multiplicative inverse. Walk p over all
    // powers of 3 and q over those of its inverse 3⁻¹ at the same time.
    std::array<uint8_t, 256> s {};
    std::array<uint8_t, 256> si {};
    uint8_t p = 1;
    uint8_t q = 1;
    do {
        p = static_cast<uint8_t>(p ^ xtime(p));
        q = static_cast<uint8_t>(q ^ (q << 1));
        q = static_cast<uint8_t>(q ^ (q << 2));
        q = static_cast<uint8_t>(q ^ (q << 4));
        if (q & 0x80)
            q ^= 0x09;
        const uint8_t affine
            = static_cast<uint8_t>(q ^ std::rotl(q, 1) ^ std::rotl(q, 2) ^ std::rotl(q, 3) ^ std::rotl(q, 4) ^ 0x63);
        s[p] = affine;
    } while (p != 1);
    s[0] = 0x63;
    for (int x = 0; x < 256; ++x)
        si[s[x]] = static_cast<uint8_t>(x);

    CipherTables t;
    for (int x = 0; x < 256; ++x) {
        const uint8_t e = s[x];
        const uint8_t d = si[x];
        t.encRound[x] = uint32_t(gmul(e, 2)) | uint32_t(e) << 8 | uint32_t(e) << 16 | uint32_t(gmul(e, 3)) << 24;
        t.sbox[x] = e;
        t.decRound[x] = uint32_t(gmul(d, 14)) | uint32_t(gmul(d, 9)) << 8 | uint32_t(gmul(d, 13)) << 16
            | uint32_t(gmul(d, 11)) << 24;
        t.invSbox[x] = d;
    }
    uint8_t r = 1;
    for (size_t j = 1; j < t.rcon.size(); ++j, r = xtime(r))
        t.rcon[j] = r;
    return t;
}

constexpr CipherTables kTables = makeTables();

static_assert(kTables.sbox[0x00] == 0x63 && kTables.sbox[0x53] == 0xED && kTables.sbox[0xFF] == 0x16);
static_assert(kTables.invSbox[0x63] == 0x00 && kTables.invSbox[0x16] == 0xFF);
static_assert(kTables.rcon[1] == 0x01 && kTables.rcon[9] == 0x1B && kTables.rcon[10] == 0x36);

// ---------------------------------------------------------------------------
// Words in the little-endian layout, on any host.

inline uint32_t load32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void store32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t b0(uint32_t w)
{
    return w & 0xFF;
}
inline uint32_t b1(uint32_t w)
{
    return (w >> 8) & 0xFF;
}
inline uint32_t b2(uint32_t w)
{
    return (w >> 16) & 0xFF;
}
inline uint32_t b3(uint32_t w)
{
    return w >> 24;
}

// ---------------------------------------------------------------------------
// Key schedules.

uint32_t subWord(uint32_t w)
{
    const auto& s = kTables.sbox;
    return s[b0(w)] | s[b1(w)] << 8 | s[b2(w)] << 16 | s[b3(w)] << 24;
}

// FIPS-197 key expansion, in whole groups of Nk words after the key itself.
template <size_t Nk, size_t Words> void expandEncrypt(const uint8_t* key, std::array<uint32_t, Words>& w)
{
    static_assert((Words - Nk) % Nk == 0);
    for (size_t i = 0; i < Nk; ++i)
        w[i] = load32(key + 4 * i);
    for (size_t j = 1; j <= (Words - Nk) / Nk; ++j) {
        const size_t base = j * Nk;
        w[base] = w[base - Nk] ^ subWord(std::rotr(w[base - 1], 8)) ^ kTables.rcon[j];
        for (size_t i = base + 1; i < base + Nk; ++i) {
            if (Nk == 8 && i % 8 == 4)
                w[i] = w[i - Nk] ^ subWord(w[i - 1]);
            else
                w[i] = w[i - Nk] ^ w[i - 1];
        }
    }
}

// InvMixColumns of one column, with all four bytes doubled at once.
constexpr uint32_t invMixColumn(uint32_t a)
{
    auto m2 = [](uint32_t x) {
        const uint32_t high = x & 0x80808080u;
        return ((x & 0x7F7F7F7Fu) << 1) ^ ((high - (high >> 7)) & 0x1B1B1B1Bu);
    };
    const uint32_t b = m2(a);
    const uint32_t c = m2(b);
    const uint32_t d = m2(c);
    const uint32_t e = a ^ d;
    return b ^ c ^ d ^ std::rotr(e ^ b, 8) ^ std::rotr(e ^ c, 16) ^ std::rotl(e, 8);
}

static_assert(invMixColumn(0x00000001u) == 0x0B0D090Eu);

template <size_t Words> void convertToDecrypt(std::array<uint32_t, Words>& w, int rounds)
{
    for (size_t i = 4; i < size_t(4 * rounds); ++i)
        w[i] = invMixColumn(w[i]);
}

// ---------------------------------------------------------------------------
// Table rounds, unrolled by the compiler for each key size.

#if defined(__GNUC__) || defined(__clang__)
#define QINGHE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define QINGHE_ALWAYS_INLINE inline
#endif

struct State
{
    uint32_t c0, c1, c2, c3; // the four columns
};

QINGHE_ALWAYS_INLINE State loadState(const uint8_t* in, const uint32_t* k)
{
    return { load32(in) ^ k[0], load32(in + 4) ^ k[1], load32(in + 8) ^ k[2], load32(in + 12) ^ k[3] };
}

// Column c takes row r from column c+r (ShiftRows), through one table rotated per row.
QINGHE_ALWAYS_INLINE uint32_t encColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    const auto& T = kTables.encRound;
    return T[b0(a)] ^ std::rotl(T[b1(b)], 8) ^ std::rotl(T[b2(c)], 16) ^ std::rotl(T[b3(d)], 24);
}

QINGHE_ALWAYS_INLINE State encRound(const State& s, const uint32_t* k)
{
    return { encColumn(s.c0, s.c1, s.c2, s.c3) ^ k[0], encColumn(s.c1, s.c2, s.c3, s.c0) ^ k[1],
        encColumn(s.c2, s.c3, s.c0, s.c1) ^ k[2], encColumn(s.c3, s.c0, s.c1, s.c2) ^ k[3] };
}

QINGHE_ALWAYS_INLINE uint32_t encLastColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    const auto& S = kTables.sbox;
    return S[b0(a)] ^ S[b1(b)] << 8 ^ S[b2(c)] << 16 ^ S[b3(d)] << 24;
}

// The inverse: column c takes row r from column c-r (InvShiftRows).
QINGHE_ALWAYS_INLINE uint32_t decColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    const auto& D = kTables.decRound;
    return D[b0(a)] ^ std::rotl(D[b1(b)], 8) ^ std::rotl(D[b2(c)], 16) ^ std::rotl(D[b3(d)], 24);
}

QINGHE_ALWAYS_INLINE State decRound(const State& s, const uint32_t* k)
{
    return { decColumn(s.c0, s.c3, s.c2, s.c1) ^ k[0], decColumn(s.c1, s.c0, s.c3, s.c2) ^ k[1],
        decColumn(s.c2, s.c1, s.c0, s.c3) ^ k[2], decColumn(s.c3, s.c2, s.c1, s.c0) ^ k[3] };
}

QINGHE_ALWAYS_INLINE uint32_t decLastColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    const auto& S = kTables.invSbox;
    return S[b0(a)] ^ S[b1(b)] << 8 ^ S[b2(c)] << 16 ^ S[b3(d)] << 24;
}

template <int Nr, size_t... R>
QINGHE_ALWAYS_INLINE State encRounds(State s, const uint32_t* rk, std::index_sequence<R...>)
{
    ((s = encRound(s, rk + 4 * (R + 1))), ...);
    return s;
}

template <int Nr, size_t... R>
QINGHE_ALWAYS_INLINE State decRounds(State s, const uint32_t* rk, std::index_sequence<R...>)
{
    ((s = decRound(s, rk + 4 * (Nr - 1 - R))), ...);
    return s;
}

template <int Nr> void encryptTable(const uint8_t* in, const uint32_t* rk, uint8_t* out)
{
    State s = loadState(in, rk);
    s = encRounds<Nr>(s, rk, std::make_index_sequence<Nr - 1>());
    const uint32_t* k = rk + 4 * Nr;
    store32(out, encLastColumn(s.c0, s.c1, s.c2, s.c3) ^ k[0]);
    store32(out + 4, encLastColumn(s.c1, s.c2, s.c3, s.c0) ^ k[1]);
    store32(out + 8, encLastColumn(s.c2, s.c3, s.c0, s.c1) ^ k[2]);
    store32(out + 12, encLastColumn(s.c3, s.c0, s.c1, s.c2) ^ k[3]);
}

// The equivalent inverse cipher: same shape, starting from the last round key.
template <int Nr> void decryptTable(const uint8_t* in, const uint32_t* rk, uint8_t* out)
{
    State s = loadState(in, rk + 4 * Nr);
    s = decRounds<Nr>(s, rk, std::make_index_sequence<Nr - 1>());
    store32(out, decLastColumn(s.c0, s.c3, s.c2, s.c1) ^ rk[0]);
    store32(out + 4, decLastColumn(s.c1, s.c0, s.c3, s.c2) ^ rk[1]);
    store32(out + 8, decLastColumn(s.c2, s.c1, s.c0, s.c3) ^ rk[2]);
    store32(out + 12, decLastColumn(s.c3, s.c2, s.c1, s.c0) ^ rk[3]);
}

template <int Nr> void encryptTableBlocks(const uint32_t* rk, uint8_t* data, size_t blocks)
{
    for (; blocks > 0; --blocks, data += 16)
        encryptTable<Nr>(data, rk, data);
}

template <int Nr> void decryptTableBlocks(const uint32_t* rk, uint8_t* data, size_t blocks)
{
    for (; blocks > 0; --blocks, data += 16)
        decryptTable<Nr>(data, rk, data);
}

// ---------------------------------------------------------------------------
// Choice between the AES instructions and the tables.

std::atomic<bool> g_forcePortable { false };

bool portableByEnvironment()
{
    static const bool portable = [] {
        const char* value = std::getenv("QINGHE_AES_PORTABLE");
        return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
    }();
    return portable;
}

using BlocksFn = void (*)(const uint32_t*, int, uint8_t*, size_t);

void encryptTableAny(const uint32_t* rk, int rounds, uint8_t* data, size_t blocks)
{
    switch (rounds) {
    case 10:
        return encryptTableBlocks<10>(rk, data, blocks);
    case 12:
        return encryptTableBlocks<12>(rk, data, blocks);
    default:
        return encryptTableBlocks<14>(rk, data, blocks);
    }
}

void decryptTableAny(const uint32_t* rk, int rounds, uint8_t* data, size_t blocks)
{
    switch (rounds) {
    case 10:
        return decryptTableBlocks<10>(rk, data, blocks);
    case 12:
        return decryptTableBlocks<12>(rk, data, blocks);
    default:
        return decryptTableBlocks<14>(rk, data, blocks);
    }
}

// ---------------------------------------------------------------------------
// ECB over streams.
//
// Data moves in chunks of many blocks, but every observable result is that of
// reading and writing one block at a time: after a short read the whole
// blocks before it are still written; after a short write the destination
// holds exactly what it accepted and the source is put back where the
// block-by-block run would have stopped reading.

constexpr size_t kChunkBytes = size_t(1) << 20;

uint64_t decideCount(TStream& source, uint64_t count)
{
    if (count == 0) {
        source.setPosition(0);
        return static_cast<uint64_t>(std::max<int64_t>(source.size(), 0));
    }
    const int64_t left = source.size() - source.position();
    return left <= 0 ? 0 : std::min(count, static_cast<uint64_t>(left));
}

void runEcb(TStream& source, uint64_t count, const uint32_t* rk, int rounds, TStream& dest, bool encrypt)
{
    count = decideCount(source, count);
    if (count == 0)
        return;
    if (!encrypt && count % 16 != 0)
        throw EAESError("Invalid buffer size for decryption");

    const bool hardware = AesUsingHardware();
    const BlocksFn cipher = encrypt ? (hardware ? aesni::encryptBlocks : encryptTableAny)
                                    : (hardware ? aesni::decryptBlocks : decryptTableAny);

    const size_t capacity = static_cast<size_t>(std::min<uint64_t>((count + 15) & ~uint64_t(15), kChunkBytes));
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    int64_t chunkStart = source.position();

    for (uint64_t left = count; left > 0;) {
        const auto want = static_cast<int64_t>(std::min<uint64_t>(left, kChunkBytes));
        const int64_t got = std::max<int64_t>(source.read(buffer.get(), want), 0);
        const bool shortRead = got < want;

        // Whole blocks that arrived; a complete short tail is zero-filled.
        int64_t out = got & ~int64_t(15);
        if (!shortRead && got != out) {
            std::memset(buffer.get() + got, 0, static_cast<size_t>(16 - (got - out)));
            out += 16;
        }
        if (out > 0) {
            cipher(rk, rounds, buffer.get(), static_cast<size_t>(out / 16));
            const int64_t written = std::max<int64_t>(dest.write(buffer.get(), out), 0);
            if (written < out) {
                const int64_t failedBlockEnd = (written / 16 + 1) * 16;
                source.setPosition(chunkStart + std::min(failedBlockEnd, got));
                throw EStreamError("Stream write error");
            }
        }
        if (shortRead)
            throw EStreamError("Stream read error");
        chunkStart += got;
        left -= static_cast<uint64_t>(want);
    }
}

template <class RoundKeys> constexpr int roundsOf()
{
    return RoundKeys().size() == 44 ? 10 : RoundKeys().size() == 54 ? 12 : 14;
}

template <class Key, class RoundKeys>
void encryptWithKey(TStream& source, uint64_t count, const Key& key, TStream& dest)
{
    RoundKeys rk;
    AesExpandEncryptKey(key, rk);
    runEcb(source, count, rk.data(), roundsOf<RoundKeys>(), dest, true);
}

template <class Key, class RoundKeys>
void decryptWithKey(TStream& source, uint64_t count, const Key& key, TStream& dest)
{
    RoundKeys rk;
    AesExpandDecryptKey(key, rk);
    runEcb(source, count, rk.data(), roundsOf<RoundKeys>(), dest, false);
}

} // namespace

// ---------------------------------------------------------------------------

void AesExpandEncryptKey(const AesKey128& key, AesRoundKeys128& roundKeys)
{
    expandEncrypt<4>(key.data(), roundKeys);
}

void AesExpandEncryptKey(const AesKey192& key, AesRoundKeys192& roundKeys)
{
    expandEncrypt<6>(key.data(), roundKeys);
}

void AesExpandEncryptKey(const AesKey256& key, AesRoundKeys256& roundKeys)
{
    expandEncrypt<8>(key.data(), roundKeys);
}

void AesExpandDecryptKey(const AesKey128& key, AesRoundKeys128& roundKeys)
{
    AesExpandEncryptKey(key, roundKeys);
    AesExpandDecryptKey(roundKeys);
}

void AesExpandDecryptKey(const AesKey192& key, AesRoundKeys192& roundKeys)
{
    AesExpandEncryptKey(key, roundKeys);
    AesExpandDecryptKey(roundKeys);
}

void AesExpandDecryptKey(const AesKey256& key, AesRoundKeys256& roundKeys)
{
    AesExpandEncryptKey(key, roundKeys);
    AesExpandDecryptKey(roundKeys);
}

void AesExpandDecryptKey(AesRoundKeys128& roundKeys)
{
    convertToDecrypt(roundKeys, 10);
}

void AesExpandDecryptKey(AesRoundKeys192& roundKeys)
{
    convertToDecrypt(roundKeys, 12);
}

void AesExpandDecryptKey(AesRoundKeys256& roundKeys)
{
    convertToDecrypt(roundKeys, 14);
}

void AesEncryptBlock(const AesBlock& in, const AesRoundKeys128& roundKeys, AesBlock& out)
{
    encryptTable<10>(in.data(), roundKeys.data(), out.data());
}

void AesEncryptBlock(const AesBlock& in, const AesRoundKeys192& roundKeys, AesBlock& out)
{
    encryptTable<12>(in.data(), roundKeys.data(), out.data());
}

void AesEncryptBlock(const AesBlock& in, const AesRoundKeys256& roundKeys, AesBlock& out)
{
    encryptTable<14>(in.data(), roundKeys.data(), out.data());
}

void AesDecryptBlock(const AesBlock& in, const AesRoundKeys128& roundKeys, AesBlock& out)
{
    decryptTable<10>(in.data(), roundKeys.data(), out.data());
}

void AesDecryptBlock(const AesBlock& in, const AesRoundKeys192& roundKeys, AesBlock& out)
{
    decryptTable<12>(in.data(), roundKeys.data(), out.data());
}

void AesDecryptBlock(const AesBlock& in, const AesRoundKeys256& roundKeys, AesBlock& out)
{
    decryptTable<14>(in.data(), roundKeys.data(), out.data());
}

void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesKey128& key, TStream& dest)
{
    encryptWithKey<AesKey128, AesRoundKeys128>(source, count, key, dest);
}

void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesKey192& key, TStream& dest)
{
    encryptWithKey<AesKey192, AesRoundKeys192>(source, count, key, dest);
}

void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesKey256& key, TStream& dest)
{
    encryptWithKey<AesKey256, AesRoundKeys256>(source, count, key, dest);
}

void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys128& roundKeys, TStream& dest)
{
    runEcb(source, count, roundKeys.data(), 10, dest, true);
}

void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys192& roundKeys, TStream& dest)
{
    runEcb(source, count, roundKeys.data(), 12, dest, true);
}

void AesEncryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys256& roundKeys, TStream& dest)
{
    runEcb(source, count, roundKeys.data(), 14, dest, true);
}

void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesKey128& key, TStream& dest)
{
    decryptWithKey<AesKey128, AesRoundKeys128>(source, count, key, dest);
}

void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesKey192& key, TStream& dest)
{
    decryptWithKey<AesKey192, AesRoundKeys192>(source, count, key, dest);
}

void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesKey256& key, TStream& dest)
{
    decryptWithKey<AesKey256, AesRoundKeys256>(source, count, key, dest);
}

void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys128& roundKeys, TStream& dest)
{
    runEcb(source, count, roundKeys.data(), 10, dest, false);
}

void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys192& roundKeys, TStream& dest)
{
    runEcb(source, count, roundKeys.data(), 12, dest, false);
}

void AesDecryptStreamEcb(TStream& source, uint64_t count, const AesRoundKeys256& roundKeys, TStream& dest)
{
    runEcb(source, count, roundKeys.data(), 14, dest, false);
}

void AesDecryptBlocksEcb(const AesRoundKeys256& roundKeys, uint8_t* data, size_t blocks)
{
    (AesUsingHardware() ? aesni::decryptBlocks : decryptTableAny)(roundKeys.data(), 14, data, blocks);
}

bool AesHardwareAvailable()
{
    return aesni::supported();
}

void AesForcePortable(bool force)
{
    g_forcePortable.store(force, std::memory_order_relaxed);
}

bool AesUsingHardware()
{
    return aesni::supported() && !portableByEnvironment() && !g_forcePortable.load(std::memory_order_relaxed);
}
