// The block cipher: the FIPS-197 Appendix C vectors with their round keys, both
// ways, both ways of making the decryption schedule, in-place operation.

#include "crypto/ElAES.h"

#include <QtTest>

namespace {

template <size_t N> std::array<uint8_t, N> arrayFromHex(const QByteArray& hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    std::array<uint8_t, N> out {};
    if (bytes.size() == qsizetype(N))
        std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

// Round key r as the 16 bytes it stands for in the little-endian word layout.
template <size_t W> QByteArray roundKeyHex(const std::array<uint32_t, W>& rk, int r)
{
    QByteArray out;
    for (size_t i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b)
            out.append(static_cast<char>(rk[size_t(4 * r) + i] >> (8 * b)));
    return out.toHex();
}

// roundKeys: "round:hex" pairs, blank-separated.
template <class Key, class RoundKeys>
void checkVector(const QByteArray& keyHex, const QByteArray& cipherHex, const QByteArray& roundKeys)
{
    const Key key = arrayFromHex<sizeof(Key)>(keyHex);
    const AesBlock plain = arrayFromHex<16>("00112233445566778899aabbccddeeff");
    const AesBlock cipher = arrayFromHex<16>(cipherHex);

    RoundKeys enc;
    AesExpandEncryptKey(key, enc);
    for (const QByteArray& entry : roundKeys.split(' '))
        QCOMPARE(roundKeyHex(enc, entry.split(':').at(0).toInt()), entry.split(':').at(1));

    AesBlock out {};
    AesEncryptBlock(plain, enc, out);
    QCOMPARE(out, cipher);

    RoundKeys dec;
    AesExpandDecryptKey(key, dec);
    RoundKeys converted = enc;
    AesExpandDecryptKey(converted);
    QVERIFY(dec == converted);
    AesDecryptBlock(cipher, dec, out);
    QCOMPARE(out, plain);

    // Same storage for input and output.
    AesBlock inPlace = plain;
    AesEncryptBlock(inPlace, enc, inPlace);
    QCOMPARE(inPlace, cipher);
    AesDecryptBlock(inPlace, dec, inPlace);
    QCOMPARE(inPlace, plain);
}

} // namespace

class TestElAes : public QObject
{
    Q_OBJECT

private slots:
    void fips197_data();
    void fips197();
};

void TestElAes::fips197_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("cipher");
    QTest::addColumn<QByteArray>("roundKeys");
    QTest::newRow("C.1 AES-128") << QByteArray("000102030405060708090a0b0c0d0e0f")
                                 << QByteArray("69c4e0d86a7b0430d8cdb78070b4c55a")
                                 << QByteArray("0:000102030405060708090a0b0c0d0e0f 1:d6aa74fdd2af72fadaa678f1d6ab76fe "
                                               "10:13111d7fe3944a17f307a78b4d2b30c5");
    QTest::newRow("C.2 AES-192") << QByteArray("000102030405060708090a0b0c0d0e0f1011121314151617")
                                 << QByteArray("dda97ca4864cdfe06eaf70a0ec0d7191")
                                 << QByteArray(
                                        "1:10111213141516175846f2f95c43f4fe 12:a4970a331a78dc09c418c271e3a41d5d");
    QTest::newRow("C.3 AES-256") << QByteArray("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f")
                                 << QByteArray("8ea2b7ca516745bfeafc49904b496089")
                                 << QByteArray("1:101112131415161718191a1b1c1d1e1f 2:a573c29fa176c498a97fce93a572c09c "
                                               "14:24fc79ccbf0979e9371ac23c6d68de36");
}

void TestElAes::fips197()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, cipher);
    QFETCH(QByteArray, roundKeys);
    if (key.size() == 32)
        checkVector<AesKey128, AesRoundKeys128>(key, cipher, roundKeys);
    else if (key.size() == 48)
        checkVector<AesKey192, AesRoundKeys192>(key, cipher, roundKeys);
    else
        checkVector<AesKey256, AesRoundKeys256>(key, cipher, roundKeys);
}

QTEST_APPLESS_MAIN(TestElAes)
#include "test_elaes.moc"
