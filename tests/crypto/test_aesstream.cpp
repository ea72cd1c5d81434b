// The ECB stream routines: count rules, padding, failures part-way, the
// hardware path against the tables, and sizes beyond 32 bits.

#include "ErrorText.h"
#include "FaultyStream.h"
#include "RandomBytes.h"
#include "crypto/ElAES.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>
#include <vector>

namespace {

template <class T> T randomArray(QRandomGenerator& rng)
{
    T a;
    for (auto& b : a)
        b = static_cast<uint8_t>(rng.bounded(256));
    return a;
}

// A whole memory stream through the ECB routine, with a key or round keys.
template <class K> std::string ecb(bool encrypt, const std::string& in, const K& key)
{
    TMemoryStream source(in);
    TMemoryStream dest;
    if (encrypt)
        AesEncryptStreamEcb(source, 0, key, dest);
    else
        AesDecryptStreamEcb(source, 0, key, dest);
    return dest.takeBytes();
}

const AesKey128 kKey128
    = { 0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c };

// The routines as the block-by-block design states them: one 16-byte read
// and one 16-byte write per block, no buffering, the table cipher.
void modelEcb(TStream& source, uint64_t count, TStream& dest, bool encrypt)
{
    AesRoundKeys128 rk;
    if (encrypt)
        AesExpandEncryptKey(kKey128, rk);
    else
        AesExpandDecryptKey(kKey128, rk);
    if (count == 0) {
        source.setPosition(0);
        count = uint64_t(source.size());
    } else {
        count = std::min<uint64_t>(count, uint64_t(std::max<int64_t>(source.size() - source.position(), 0)));
    }
    if (!encrypt && count % 16 != 0)
        throw EAESError("Invalid buffer size for decryption");
    for (AesBlock in {}, out; count > 0; in = {}) {
        const auto n = static_cast<int64_t>(std::min<uint64_t>(count, 16));
        if (source.read(in.data(), n) < n)
            throw EStreamError("Stream read error");
        encrypt ? AesEncryptBlock(in, rk, out) : AesDecryptBlock(in, rk, out);
        if (dest.write(out.data(), 16) < 16)
            throw EStreamError("Stream write error");
        count -= uint64_t(n);
    }
}

struct Outcome
{
    QString error;
    std::string dest;
    int64_t sourcePosition = 0;
    int64_t destPosition = 0;
};

// One run over fresh streams: source bytes at a start position, a destination
// holding some earlier bytes, each failing after its limit.
struct Run
{
    std::string source;
    int64_t position = 0;
    uint64_t count = 0;
    bool encrypt = true;
    int64_t readLimit = -1;
    int64_t writeLimit = -1;

    Outcome go(bool model) const
    {
        FaultyStream src(source, readLimit);
        FaultyStream dst(std::string("prefix--tail-that-stays"), -1, writeLimit);
        src.setPosition(position);
        dst.setPosition(8);
        Outcome o;
        o.error = errorText([&] {
            if (model)
                modelEcb(src, count, dst, encrypt);
            else if (encrypt)
                AesEncryptStreamEcb(src, count, kKey128, dst);
            else
                AesDecryptStreamEcb(src, count, kKey128, dst);
        });
        o.dest = dst.bytes();
        o.sourcePosition = src.position();
        o.destPosition = dst.position();
        return o;
    }
};

void compareOutcomes(const Outcome& real, const Outcome& model)
{
    QCOMPARE(real.error, model.error);
    QCOMPARE(real.dest.size(), model.dest.size());
    QVERIFY(real.dest == model.dest);
    QCOMPARE(real.sourcePosition, model.sourcePosition);
    QCOMPARE(real.destPosition, model.destPosition);
}

// A stream of any reported size whose bytes are all 0xAB, made on demand; it
// takes at most writeLimit bytes written (a negative limit: any number).
class HugeStream : public TStream
{
public:
    explicit HugeStream(int64_t size, int64_t writeLimit = -1)
        : m_size(size)
        , m_writeLimit(writeLimit)
    { }
    int64_t size() const override { return m_size; }
    void setSize(int64_t) override { }
    int64_t position() const override { return m_position; }
    void setPosition(int64_t pos) override { m_position = pos; }
    int64_t read(void* buffer, int64_t count) override
    {
        const int64_t n = std::clamp<int64_t>(m_size - m_position, 0, count);
        std::memset(buffer, 0xAB, size_t(n));
        m_position += n;
        return n;
    }
    int64_t write(const void*, int64_t count) override
    {
        const int64_t n = m_writeLimit < 0 ? count : std::min(count, m_writeLimit - m_position);
        m_position += n;
        return n;
    }

private:
    int64_t m_size;
    int64_t m_writeLimit;
    int64_t m_position = 0;
};

} // namespace

class TestAesStream : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { AesForcePortable(false); }
    void countRules_data();
    void countRules();
    void failurePartWay_data();
    void failurePartWay();
    void allOverloadsAgree();
    void hardwareMatchesTables();
    void countsBeyond32Bits();
};

void TestAesStream::countRules_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("position");
    QTest::addColumn<qulonglong>("count");
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<int>("written");
    QTest::addColumn<QString>("error");

    const QString noError;
    const QString badSize = QStringLiteral("EAESError: Invalid buffer size for decryption");
    QTest::newRow("empty, count 0, encrypt") << 0 << 0 << 0ull << true << 0 << noError;
    QTest::newRow("empty, count 0, decrypt") << 0 << 0 << 0ull << false << 0 << noError;
    QTest::newRow("count cut to what is left") << 40 << 8 << 100ull << true << 32 << noError;
    QTest::newRow("source at its end") << 32 << 32 << 16ull << true << 0 << noError;
    QTest::newRow("source past its end") << 32 << 50 << 16ull << true << 0 << noError;
    QTest::newRow("count 0 from the middle") << 40 << 20 << 0ull << true << 48 << noError;
    QTest::newRow("17 bytes") << 17 << 0 << 0ull << true << 32 << noError;
    QTest::newRow("part of the source") << 100 << 3 << 20ull << true << 32 << noError;
    QTest::newRow("decrypt 8") << 8 << 0 << 0ull << false << 0 << badSize;
    QTest::newRow("decrypt count 8 mid-stream") << 64 << 16 << 8ull << false << 0 << badSize;
}

void TestAesStream::countRules()
{
    QFETCH(int, size);
    QFETCH(int, position);
    QFETCH(qulonglong, count);
    QFETCH(bool, encrypt);
    QFETCH(int, written);
    QFETCH(QString, error);

    QRandomGenerator rng(size * 31 + position);
    const Run run { randomBytes(rng, size_t(size)), position, count, encrypt };
    const Outcome real = run.go(false);
    QCOMPARE(real.error, error);
    QCOMPARE(real.destPosition, 8 + written);
    compareOutcomes(real, run.go(true));
}

// Streams that stop moving bytes part-way, at places around blocks and around
// the chunks the routines move data in: the destination must hold exactly
// what the block-by-block run leaves, and both positions must agree.
void TestAesStream::failurePartWay_data()
{
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<int>("readLimit");
    QTest::addColumn<int>("writeLimit");

    const int mib = 1 << 20;
    const QList<int> limits = { 0, 5, 16, 17, 40, mib - 3, mib, mib + 16, mib + 21 };
    for (bool encrypt : { true, false }) {
        for (int limit : limits) {
            const char* dir = encrypt ? "enc" : "dec";
            QTest::addRow("%s read fails after %d", dir, limit) << encrypt << limit << -1;
            QTest::addRow("%s write fails after %d", dir, limit) << encrypt << -1 << limit;
        }
        QTest::addRow("%s write fails before read does", encrypt ? "enc" : "dec") << encrypt << mib + 40 << mib - 8;
    }
}

void TestAesStream::failurePartWay()
{
    QFETCH(bool, encrypt);
    QFETCH(int, readLimit);
    QFETCH(int, writeLimit);

    // Decryption needs whole blocks; encryption gets a short tail as well.
    QRandomGenerator rng(7);
    const size_t size = encrypt ? (size_t(1) << 20) + 4096 + 9 : (size_t(1) << 20) + 4096;
    const Run run { randomBytes(rng, size + 16), 16, 0xFFFFFFFFFFFFull, encrypt, readLimit, writeLimit };
    const Outcome real = run.go(false);
    compareOutcomes(real, run.go(true));
    QVERIFY(!real.error.isEmpty());
}

// Keys and round keys of every size give the same ECB bytes; decryption hands
// the last block's zero fill back as it stands.
void TestAesStream::allOverloadsAgree()
{
    QRandomGenerator rng(11);
    const std::string plain = randomBytes(rng, 1000);
    auto check = [&](const auto& key, auto roundKeys) {
        AesExpandEncryptKey(key, roundKeys);
        const std::string c = ecb(true, plain, key);
        QVERIFY(c == ecb(true, plain, roundKeys));
        QVERIFY(c != plain.substr(0, c.size()));
        AesExpandDecryptKey(roundKeys);
        QVERIFY(ecb(false, c, key) == plain + std::string(8, '\0'));
        QVERIFY(ecb(false, c, roundKeys) == plain + std::string(8, '\0'));
    };
    check(randomArray<AesKey128>(rng), AesRoundKeys128 {});
    check(randomArray<AesKey192>(rng), AesRoundKeys192 {});
    check(randomArray<AesKey256>(rng), AesRoundKeys256 {});
}

void TestAesStream::hardwareMatchesTables()
{
    if (!AesHardwareAvailable())
        QSKIP("this processor has no AES instructions");

    QRandomGenerator rng(12345);
    auto check = [&](const auto& key, bool large) {
        // A large one runs across the boundary of the chunks data moves in.
        const size_t n = large ? (1 << 20) + rng.bounded(64) : rng.bounded(4000);
        const std::string plain = randomBytes(rng, n);
        std::string cipher[2], back[2];
        for (int portable : { 0, 1 }) {
            AesForcePortable(portable == 1);
            cipher[portable] = ecb(true, plain, key);
            back[portable] = ecb(false, cipher[portable], key);
        }
        AesForcePortable(false);
        QVERIFY(cipher[0] == cipher[1]);
        QVERIFY(back[0] == back[1]);
        QVERIFY(back[0].compare(0, n, plain) == 0);
    };
    for (int i = 0; i < 20; ++i) {
        check(randomArray<AesKey128>(rng), i == 0);
        check(randomArray<AesKey192>(rng), false);
        check(randomArray<AesKey256>(rng), false);
    }
}

// A whole-stream count over 4 GiB must not be cut to its low 32 bits (which
// would be 17 bytes here): the run goes on until the destination is full.
void TestAesStream::countsBeyond32Bits()
{
    const int64_t huge = (int64_t(1) << 32) + 17;
    const int64_t limit = (int64_t(1) << 20) + 5;
    const QString writeError = QStringLiteral("EStreamError: Stream write error");
    {
        HugeStream src(huge);
        HugeStream dst(0, limit);
        QCOMPARE(errorText([&] { AesEncryptStreamEcb(src, 0, AesKey256 {}, dst); }), writeError);
        QCOMPARE(dst.position(), limit);
        QCOMPARE(src.position(), (int64_t(1) << 20) + 16);
    }
    {
        // An explicit count beyond 32 bits, from a position beyond 32 bits.
        HugeStream src(int64_t(3) << 32);
        src.setPosition((int64_t(1) << 32) + 16);
        HugeStream dst(0, limit);
        QCOMPARE(errorText([&] { AesDecryptStreamEcb(src, uint64_t(1) << 32, AesKey256 {}, dst); }), writeError);
        QCOMPARE(dst.position(), limit);
    }
    {
        // Near the end of a source over 4 GiB, the count is cut to what is left.
        HugeStream src(huge);
        src.setPosition(huge - 17);
        HugeStream dst(0);
        AesEncryptStreamEcb(src, 1000, AesKey256 {}, dst);
        QCOMPARE(dst.position(), int64_t(32));
        QCOMPARE(src.position(), huge);
    }
}

QTEST_APPLESS_MAIN(TestAesStream)
#include "test_aesstream.moc"
