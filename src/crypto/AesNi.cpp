#include "crypto/AesNi.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define QINGHE_HAVE_AESNI 1
#include <cpuid.h>
#include <smmintrin.h>
#include <wmmintrin.h>
#endif

namespace aesni {

#ifdef QINGHE_HAVE_AESNI

// Only these functions use the AES instructions, so the rest of the program
// builds and runs on processors without them.
#define QINGHE_AESNI_TARGET __attribute__((target("aes,sse4.1")))

namespace {

    // Eight independent blocks keep the AES unit's pipeline full.
    constexpr size_t kLanes = 8;

    template <int Nr> QINGHE_AESNI_TARGET void encryptRounds(const uint32_t* roundKeys, uint8_t* data, size_t blocks)
    {
        __m128i k[Nr + 1];
        for (int r = 0; r <= Nr; ++r)
            k[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 4 * r));

        auto* p = reinterpret_cast<__m128i*>(data);
        for (; blocks >= kLanes; blocks -= kLanes, p += kLanes) {
            __m128i b[kLanes];
#pragma GCC unroll 8
            for (size_t i = 0; i < kLanes; ++i)
                b[i] = _mm_xor_si128(_mm_loadu_si128(p + i), k[0]);
#pragma GCC unroll 14
            for (int r = 1; r < Nr; ++r) {
#pragma GCC unroll 8
                for (size_t i = 0; i < kLanes; ++i)
                    b[i] = _mm_aesenc_si128(b[i], k[r]);
            }
#pragma GCC unroll 8
            for (size_t i = 0; i < kLanes; ++i)
                _mm_storeu_si128(p + i, _mm_aesenclast_si128(b[i], k[Nr]));
        }
        for (; blocks > 0; --blocks, ++p) {
            __m128i b = _mm_xor_si128(_mm_loadu_si128(p), k[0]);
#pragma GCC unroll 14
            for (int r = 1; r < Nr; ++r)
                b = _mm_aesenc_si128(b, k[r]);
            _mm_storeu_si128(p, _mm_aesenclast_si128(b, k[Nr]));
        }
    }

    // The decryption schedule already holds InvMixColumns of round keys 1..Nr-1,
    // which is what AESDEC expects; it is walked from the last round key down.
    template <int Nr> QINGHE_AESNI_TARGET void decryptRounds(const uint32_t* roundKeys, uint8_t* data, size_t blocks)
    {
        __m128i k[Nr + 1];
        for (int r = 0; r <= Nr; ++r)
            k[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 4 * r));

        auto* p = reinterpret_cast<__m128i*>(data);
        for (; blocks >= kLanes; blocks -= kLanes, p += kLanes) {
            __m128i b[kLanes];
#pragma GCC unroll 8
            for (size_t i = 0; i < kLanes; ++i)
                b[i] = _mm_xor_si128(_mm_loadu_si128(p + i), k[Nr]);
#pragma GCC unroll 14
            for (int r = Nr - 1; r > 0; --r) {
#pragma GCC unroll 8
                for (size_t i = 0; i < kLanes; ++i)
                    b[i] = _mm_aesdec_si128(b[i], k[r]);
            }
#pragma GCC unroll 8
            for (size_t i = 0; i < kLanes; ++i)
                _mm_storeu_si128(p + i, _mm_aesdeclast_si128(b[i], k[0]));
        }
        for (; blocks > 0; --blocks, ++p) {
            __m128i b = _mm_xor_si128(_mm_loadu_si128(p), k[Nr]);
#pragma GCC unroll 14
            for (int r = Nr - 1; r > 0; --r)
                b = _mm_aesdec_si128(b, k[r]);
            _mm_storeu_si128(p, _mm_aesdeclast_si128(b, k[0]));
        }
    }

    bool detect()
    {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
            return false;
        return (ecx & bit_AES) != 0 && (ecx & bit_SSE4_1) != 0;
    }

} // namespace

bool supported()
{
    static const bool hasAes = detect();
    return hasAes;
}

void encryptBlocks(const uint32_t* roundKeys, int rounds, uint8_t* data, size_t blocks)
{
    switch (rounds) {
    case 10:
        return encryptRounds<10>(roundKeys, data, blocks);
    case 12:
        return encryptRounds<12>(roundKeys, data, blocks);
    default:
        return encryptRounds<14>(roundKeys, data, blocks);
    }
}

void decryptBlocks(const uint32_t* roundKeys, int rounds, uint8_t* data, size_t blocks)
{
    switch (rounds) {
    case 10:
        return decryptRounds<10>(roundKeys, data, blocks);
    case 12:
        return decryptRounds<12>(roundKeys, data, blocks);
    default:
        return decryptRounds<14>(roundKeys, data, blocks);
    }
}

#else

bool supported()
{
    return false;
}

void encryptBlocks(const uint32_t*, int, uint8_t*, size_t) { }
void decryptBlocks(const uint32_t*, int, uint8_t*, size_t) { }

#endif

} // namespace aesni
