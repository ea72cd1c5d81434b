// The block cipher: published FIPS-197 vectors and key schedules, the
// decryption schedule, in-place operation.

#include "crypto/ElAES.h"

#include <QtTest>

#include <cstring>

namespace {

std::vector<uint8_t> fromHex(const char* hex)
{
    const QByteArray bytes = QByteArray::fromHex(QByteArray(hex));
    return { bytes.begin(), bytes.end() };
}

template <size_t N> std::array<uint8_t, N> arrayFromHex(const char* hex)
{
    const auto bytes = fromHex(hex);
    std::array<uint8_t, N> out {};
    if (bytes.size() == N)
        std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

// Round key r as the 16 bytes it stands for in the little-endian word layout.
template <size_t W> QByteArray roundKeyBytes(const std::array<uint32_t, W>& rk, int r)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i) {
        const uint32_t w = rk[size_t(4 * r + i)];
        for (int b = 0; b < 4; ++b)
            out.append(static_cast<char>(w >> (8 * b)));
    }
    return out;
}

// InvMixColumns written out byte by byte, to check the word-parallel one.
uint8_t gmul(uint8_t a, uint8_t b)
{
    uint8_t p = 0;
    for (; b; b >>= 1) {
        if (b & 1)
            p ^= a;
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
    }
    return p;
}

QByteArray invMixColumns(const QByteArray& state)
{
    QByteArray out(16, '\0');
    for (int c = 0; c < 4; ++c) {
        const auto* a = reinterpret_cast<const uint8_t*>(state.constData() + 4 * c);
        out[4 * c + 0] = static_cast<char>(gmul(a[0], 14) ^ gmul(a[1], 11) ^ gmul(a[2], 13) ^ gmul(a[3], 9));
        out[4 * c + 1] = static_cast<char>(gmul(a[0], 9) ^ gmul(a[1], 14) ^ gmul(a[2], 11) ^ gmul(a[3], 13));
        out[4 * c + 2] = static_cast<char>(gmul(a[0], 13) ^ gmul(a[1], 9) ^ gmul(a[2], 14) ^ gmul(a[3], 11));
        out[4 * c + 3] = static_cast<char>(gmul(a[0], 11) ^ gmul(a[1], 13) ^ gmul(a[2], 9) ^ gmul(a[3], 14));
    }
    return out;
}

// Runs one key size through every check of a vector.
template <class Key, class RoundKeys>
void checkVector(const char* keyHex, const char* plainHex, const char* cipherHex,
    const QList<std::pair<int, QByteArray>>& roundKeys, int rounds)
{
    const Key key = arrayFromHex<sizeof(Key)>(keyHex);
    const AesBlock plain = arrayFromHex<16>(plainHex);
    const AesBlock cipher = arrayFromHex<16>(cipherHex);

    RoundKeys enc;
    AesExpandEncryptKey(key, enc);
    for (const auto& [r, expected] : roundKeys)
        QCOMPARE(roundKeyBytes(enc, r).toHex(), expected);

    AesBlock out {};
    AesEncryptBlock(plain, enc, out);
    QCOMPARE(out, cipher);

    RoundKeys dec;
    AesExpandDecryptKey(key, dec);
    RoundKeys converted = enc;
    AesExpandDecryptKey(converted);
    QVERIFY(dec == converted);
    QCOMPARE(roundKeyBytes(dec, 0), roundKeyBytes(enc, 0));
    QCOMPARE(roundKeyBytes(dec, rounds), roundKeyBytes(enc, rounds));
    for (int r = 1; r < rounds; ++r)
        QCOMPARE(roundKeyBytes(dec, r), invMixColumns(roundKeyBytes(enc, r)));

    AesDecryptBlock(cipher, dec, out);
    QCOMPARE(out, plain);

    // Same storage for input and output.
    AesBlock inPlace = plain;
    AesEncryptBlock(inPlace, enc, inPlace);
    QCOMPARE(inPlace, cipher);
    AesDecryptBlock(inPlace, dec, inPlace);
    QCOMPARE(inPlace, plain);

    // An unconverted schedule decrypts to something else, silently.
    AesDecryptBlock(cipher, enc, out);
    QVERIFY(out != plain);
}

} // namespace

class TestElAes : public QObject
{
    Q_OBJECT

private slots:
    void fips197_data();
    void fips197();
    void keyExpansionWords_data();
    void keyExpansionWords();
};

void TestElAes::fips197_data()
{
    QTest::addColumn<int>("bits");
    QTest::newRow("C.1 AES-128") << 128;
    QTest::newRow("C.2 AES-192") << 192;
    QTest::newRow("C.3 AES-256") << 256;
}

void TestElAes::fips197()
{
    QFETCH(int, bits);
    const char* plain = "00112233445566778899aabbccddeeff";
    if (bits == 128) {
        checkVector<AesKey128, AesRoundKeys128>("000102030405060708090a0b0c0d0e0f", plain,
            "69c4e0d86a7b0430d8cdb78070b4c55a",
            { { 0, "000102030405060708090a0b0c0d0e0f" }, { 1, "d6aa74fdd2af72fadaa678f1d6ab76fe" },
                { 10, "13111d7fe3944a17f307a78b4d2b30c5" } },
            10);
    } else if (bits == 192) {
        checkVector<AesKey192, AesRoundKeys192>("000102030405060708090a0b0c0d0e0f1011121314151617", plain,
            "dda97ca4864cdfe06eaf70a0ec0d7191",
            { { 1, "10111213141516175846f2f95c43f4fe" }, { 12, "a4970a331a78dc09c418c271e3a41d5d" } }, 12);
    } else {
        checkVector<AesKey256, AesRoundKeys256>("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
            plain, "8ea2b7ca516745bfeafc49904b496089",
            { { 1, "101112131415161718191a1b1c1d1e1f" }, { 2, "a573c29fa176c498a97fce93a572c09c" },
                { 14, "24fc79ccbf0979e9371ac23c6d68de36" } },
            14);
    }
}

// Words of the key expansion examples (FIPS-197 Appendix A), as FIPS writes
// them: most significant byte first, i.e. the bytes in order.
void TestElAes::keyExpansionWords_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("word");
    QTest::newRow("A.1 w4") << QByteArray("2b7e151628aed2a6abf7158809cf4f3c") << 4 << QByteArray("a0fafe17");
    QTest::newRow("A.1 w43") << QByteArray("2b7e151628aed2a6abf7158809cf4f3c") << 43 << QByteArray("b6630ca6");
    QTest::newRow("A.2 w6") << QByteArray("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b") << 6
                            << QByteArray("fe0c91f7");
    QTest::newRow("A.2 w51") << QByteArray("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b") << 51
                             << QByteArray("01002202");
    QTest::newRow("A.3 w8") << QByteArray("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4") << 8
                            << QByteArray("9ba35411");
    QTest::newRow("A.3 w59") << QByteArray("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4") << 59
                             << QByteArray("706c631e");
}

void TestElAes::keyExpansionWords()
{
    QFETCH(QByteArray, key);
    QFETCH(int, index);
    QFETCH(QByteArray, word);

    auto wordHex = [](uint32_t w) {
        QByteArray out;
        for (int b = 0; b < 4; ++b)
            out.append(static_cast<char>(w >> (8 * b)));
        return out.toHex();
    };
    if (key.size() == 32) {
        AesRoundKeys128 rk;
        AesExpandEncryptKey(arrayFromHex<16>(key.constData()), rk);
        QCOMPARE(wordHex(rk[size_t(index)]), word);
    } else if (key.size() == 48) {
        AesRoundKeys192 rk;
        AesExpandEncryptKey(arrayFromHex<24>(key.constData()), rk);
        QCOMPARE(wordHex(rk[size_t(index)]), word);
    } else {
        AesRoundKeys256 rk;
        AesExpandEncryptKey(arrayFromHex<32>(key.constData()), rk);
        QCOMPARE(wordHex(rk[size_t(index)]), word);
    }
}

QTEST_APPLESS_MAIN(TestElAes)
#include "test_elaes.moc"
