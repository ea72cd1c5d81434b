// The string and file cipher: hex text, the hex string cipher, the encrypted
// file form, each failure with what it leaves on disk, and damaged inputs.

#include "ErrorText.h"
#include "RandomBytes.h"
#include "crypto/AES.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString& path, const std::string& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

std::string readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll().toStdString();
}

std::string header(int64_t length)
{
    std::string h(8, '\0');
    for (int i = 0; i < 8; ++i)
        h[size_t(i)] = static_cast<char>(static_cast<uint64_t>(length) >> (8 * i));
    return h;
}

std::string u8(const QString& s)
{
    return s.toStdString();
}

} // namespace

class TestAesFile : public QObject
{
    Q_OBJECT

private slots:
    void hexText_data();
    void hexText();
    void stringForm();
    void stringFailures_data();
    void stringFailures();
    void keyBuffer();
    void fileSizes_data();
    void fileSizes();
    void fileFailures_data();
    void fileFailures();
    void fileOddCases();
    void damagedInputs();
};

void TestAesFile::hexText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("bytes"); // as hex, when no error
    QTest::addColumn<QString>("error");
    auto bad = [](const char* pair) {
        return u"EConvertError: '0x%1' is not a valid integer value"_s.arg(QLatin1String(pair));
    };
    QTest::newRow("upper") << u"00AB"_s << u"00ab"_s << QString();
    QTest::newRow("mixed") << u"fF10"_s << u"ff10"_s << QString();
    QTest::newRow("empty") << u""_s << u""_s << QString();
    QTest::newRow("odd length") << u"ABC"_s << u"ab0c"_s << QString();
    QTest::newRow("bad pair") << u"0G"_s << u""_s << bad("0G");
    QTest::newRow("bad later pair") << u"00AB1z"_s << u""_s << bad("1z");
    QTest::newRow("bad last digit") << u"00g"_s << u""_s << bad("g");
    QTest::newRow("blank") << u"0 "_s << u""_s << bad("0 ");
    QTest::newRow("sign") << u"-1"_s << u""_s << bad("-1");
}

void TestAesFile::hexText()
{
    QFETCH(QString, text);
    QFETCH(QString, bytes);
    QFETCH(QString, error);

    std::string result;
    QCOMPARE(errorText([&] { result = HexToStr(text.toStdString()); }), error);
    if (error.isEmpty()) {
        QCOMPARE(QString::fromLatin1(QByteArray::fromStdString(result).toHex()), bytes);
        if (text.size() % 2 == 0)
            QCOMPARE(QString::fromStdString(StrToHex(result)), text.toUpper());
    }
}

void TestAesFile::stringForm()
{
    // FIPS-197 Appendix C: selector 0, 1, 2 pick AES-128, -192, -256, and the
    // key string's bytes are the key as they stand.
    std::string key;
    for (int i = 0; i < 32; ++i)
        key.push_back(static_cast<char>(i));
    const std::string plain = HexToStr("00112233445566778899aabbccddeeff");
    const char* ciphers[] = { "69C4E0D86A7B0430D8CDB78070B4C55A", "DDA97CA4864CDFE06EAF70A0EC0D7191",
        "8EA2B7CA516745BFEAFC49904B496089" };
    for (uint8_t selector : { 0, 1, 2 }) {
        const std::string hex = AesEncryptString(plain, key, selector);
        QCOMPARE(hex, "1000000000000000" + std::string(ciphers[selector]));
        QVERIFY(AesDecryptString(hex, key, selector) == plain);
    }

    QCOMPARE(AesEncryptString("", "any key", 2), std::string("0000000000000000"));
    QRandomGenerator rng(5);
    for (size_t n : { 1, 15, 16, 17, 31, 32, 33, 100, 1000 }) {
        const std::string text = randomBytes(rng, n);
        for (uint8_t selector : { 0, 1, 2 }) {
            const std::string hex = AesEncryptString(text, "secret", selector);
            QCOMPARE(hex.size(), 16 + 32 * ((n + 15) / 16));
            QVERIFY(hex.find_first_not_of("0123456789ABCDEF") == std::string::npos);
            QVERIFY(AesDecryptString(hex, "secret", selector) == text);
            // A wrong key gives bytes of the recorded length, silently.
            const std::string wrong = AesDecryptString(hex, "Secret", selector);
            QCOMPARE(wrong.size(), n);
            QVERIFY(wrong != text);
        }
    }
}

void TestAesFile::stringFailures_data()
{
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<int>("selector");
    QTest::addColumn<QString>("error");

    const std::string oneBlock = AesEncryptString("0123456789", "key", 2).substr(16);
    const QByteArray block = QByteArray::fromStdString(oneBlock);
    const QString badSize = u"EAESError: Invalid buffer size for decryption"_s;
    const QString badLength = u"EAESError: Invalid length header in encrypted file"_s;

    QTest::newRow("header alone") << "0000000000000000"_ba << 2 << badSize;
    QTest::newRow("nothing") << ""_ba << 2 << u"EReadError: Stream read error"_s;
    QTest::newRow("short header") << "0300000000"_ba << 2 << u"EReadError: Stream read error"_s;
    QTest::newRow("half a block") << "0A00000000000000" + block.left(16) << 2 << badSize;
    QTest::newRow("length past the data") << "1100000000000000" + block << 2 << badLength;
    QTest::newRow("negative length") << "FFFFFFFFFFFFFFFF" + block << 2 << badLength;
    QTest::newRow("damaged digit") << "0A000000000000X0" + block << 2
                                   << u"EConvertError: '0xX0' is not a valid integer value"_s;
    QTest::newRow("bad selector") << "0A00000000000000" + block << 3 << u"EAESError: Invalid key size selector"_s;
}

void TestAesFile::stringFailures()
{
    QFETCH(QByteArray, hex);
    QFETCH(int, selector);
    QFETCH(QString, error);
    QCOMPARE(errorText([&] { AesDecryptString(hex.toStdString(), "key", uint8_t(selector)); }), error);
}

void TestAesFile::keyBuffer()
{
    const std::string base(32, 'k');
    // Only the first 32 bytes count under selector 2.
    QCOMPARE(AesEncryptString("text", base + "tail one", 2), AesEncryptString("text", base + "tail two", 2));
    // A short key string is zero-filled.
    QCOMPARE(AesEncryptString("text", "k", 2), AesEncryptString("text", std::string("k\0\0\0", 4), 2));
    // Selector 0 uses 16 bytes, selector 2 all 32.
    const std::string other = base.substr(0, 20) + "X" + base.substr(21);
    QCOMPARE(AesEncryptString("text", base, 0), AesEncryptString("text", other, 0));
    QVERIFY(AesEncryptString("text", base, 2) != AesEncryptString("text", other, 2));
    QVERIFY(AesEncryptString("text", base, 0) != AesEncryptString("text", base, 2));
}

void TestAesFile::fileSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("stored");
    for (int n : { 1, 16, 17, 4099, (1 << 20) + 3, (2 << 20) + 16 })
        QTest::addRow("%d bytes", n) << n << 8 + 16 * ((n + 15) / 16);
}

void TestAesFile::fileSizes()
{
    QFETCH(int, size);
    QFETCH(int, stored);

    QTemporaryDir dir;
    QRandomGenerator rng(size);
    const std::string plain = randomBytes(rng, size_t(size));
    const QString source = dir.filePath(u"书 源.pdf"_s);
    const QString enc = dir.filePath(u"1700000000123"_s);
    const QString back = dir.filePath(u"回来.pdf"_s);
    writeFile(source, plain);

    AesEncryptFile(u8(source), u8(enc), kEbookKey, 2);
    const std::string c = readFile(enc);
    QCOMPARE(int(c.size()), stored);
    QVERIFY(c.substr(0, 8) == header(size));

    // A bigger file already at the destination is replaced, not overwritten in part.
    writeFile(back, std::string(size_t(size) + 100, 'x'));
    AesDecryptFile(u8(enc), u8(back), kEbookKey, 2);
    QVERIFY(readFile(back) == plain);
    QVERIFY(AesDecryptFileToString(u8(enc), kEbookKey, 2) == plain);

    // The file form is the string form's bytes.
    if (size < 100)
        QVERIFY(StrToHex(c) == AesEncryptString(plain, kEbookKey, 2));
}

// Each failure of the file forms: what is raised (%1 stands for the temporary
// folder) and what is left at the destination.
void TestAesFile::fileFailures_data()
{
    QTest::addColumn<bool>("decrypt");
    QTest::addColumn<QByteArray>("source"); // file contents; "<none>" for no file
    QTest::addColumn<QString>("destPath"); // relative to the temporary folder
    QTest::addColumn<int>("selector");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("left"); // the destination afterwards; "<missing>" when absent

    const QByteArray stored = QByteArray::fromStdString(header(5)) + QByteArray(16, 'c');
    const QByteArray none = "<none>"_ba, missing = "<missing>"_ba;
    const QString badSize = u"EAESError: Invalid buffer size for decryption"_s;
    const QString badLength = u"EAESError: Invalid length header in encrypted file"_s;
    const QString badSelector = u"EAESError: Invalid key size selector"_s;
    const QString readError = u"EReadError: Stream read error"_s;
    const QString noSource = u"EFOpenError: Cannot open file \"%1/in\". No such file or directory"_s;
    const QString noFolder = u"EFCreateError: Cannot create file \"%1/nofolder/out\". No such file or directory"_s;
    const QString busy = u"EFCreateError: Cannot create file \"%1/in\". Device or resource busy"_s;
    auto row = [](const char* name, bool decrypt, const QByteArray& source, const QString& dest, int selector,
                   const QString& error, const QByteArray& left) {
        QTest::newRow(name) << decrypt << source << dest << selector << error << left;
    };
    row("enc: no source", false, none, u"out"_s, 2, noSource, missing);
    row("dec: no source", true, none, u"out"_s, 2, noSource, missing);
    row("enc: no folder for the destination", false, "plain"_ba, u"nofolder/out"_s, 2, noFolder, missing);
    row("dec: no folder for the destination", true, stored, u"nofolder/out"_s, 2, noFolder, missing);
    row("dec: header only", true, QByteArray::fromStdString(header(0)), u"out"_s, 2, badSize, ""_ba);
    row("dec: ragged ciphertext", true, stored + "xyz", u"out"_s, 2, badSize, ""_ba);
    row("dec: short header", true, "abcde"_ba, u"out"_s, 2, readError, missing);
    row("dec: empty file", true, ""_ba, u"out"_s, 2, readError, missing);
    row("dec: length past the data", true, QByteArray::fromStdString(header(17)) + stored.mid(8), u"out"_s, 2,
        badLength, ""_ba);
    row("dec: negative length", true, QByteArray::fromStdString(header(-1)) + stored.mid(8), u"out"_s, 2, badLength,
        ""_ba);
    row("enc: bad selector", false, "plain"_ba, u"out"_s, 7, badSelector, missing);
    row("dec: bad selector", true, stored, u"out"_s, 3, badSelector, missing);
    row("enc: onto itself", false, "plain"_ba, u"in"_s, 2, busy, "plain"_ba);
    row("dec: onto itself", true, stored, u"./in"_s, 2, busy, stored);
    row("enc: destination is a folder", false, "plain"_ba, u"sub"_s, 2,
        u"EFCreateError: Cannot create file \"%1/sub\". Is a directory"_s, missing);
}

void TestAesFile::fileFailures()
{
    QFETCH(bool, decrypt);
    QFETCH(QByteArray, source);
    QFETCH(QString, destPath);
    QFETCH(int, selector);
    QFETCH(QString, error);
    QFETCH(QByteArray, left);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
    const QString in = dir.filePath(u"in"_s);
    if (source != "<none>")
        writeFile(in, source.toStdString());
    const QString out = dir.filePath(destPath);

    const QString raised = errorText([&] {
        if (decrypt)
            AesDecryptFile(u8(in), u8(out), kEbookKey, uint8_t(selector));
        else
            AesEncryptFile(u8(in), u8(out), kEbookKey, uint8_t(selector));
    });
    QCOMPARE(raised, error.contains(u"%1"_s) ? error.arg(dir.path()) : error);
    // Decrypting into memory raises the same, having no destination of its own to fail on.
    if (decrypt && !error.startsWith(u"EFCreateError"_s))
        QCOMPARE(errorText([&] { AesDecryptFileToString(u8(in), kEbookKey, uint8_t(selector)); }), raised);
    if (destPath != u"sub"_s)
        QCOMPARE(QByteArray::fromStdString(readFile(out)), left);
}

void TestAesFile::fileOddCases()
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(u"empty"_s);
    const QString enc = dir.filePath(u"enc"_s);
    writeFile(empty, "");

    // An empty file stores as the header alone and cannot be decrypted.
    AesEncryptFile(u8(empty), u8(enc), kEbookKey, 2);
    QVERIFY(readFile(enc) == header(0));

    // A source folder is no file.
    QCOMPARE(errorText([&] { AesEncryptFile(u8(dir.path()), u8(enc), kEbookKey, 2); }),
        u"EFOpenError: Cannot open file \"%1\". Is a directory"_s.arg(dir.path()));

    // Relative paths are reported in full.
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString raised = errorText([&] { AesDecryptFile("sub/../nothing", "x", kEbookKey, 2); });
    QDir::setCurrent(cwd);
    QCOMPARE(raised, u"EFOpenError: Cannot open file \"%1/nothing\". No such file or directory"_s.arg(dir.path()));

    // A header that cannot be written whole.
    if (QFile::exists(u"/dev/full"_s)) {
        writeFile(empty, "some text");
        QCOMPARE(errorText([&] { AesEncryptFile(u8(empty), "/dev/full", kEbookKey, 2); }),
            u"EWriteError: Stream write error"_s);
    }
}

// Random damage to good inputs must end in a result or one of the stated
// errors, never a crash; a result always has the recorded length.
void TestAesFile::damagedInputs()
{
    QRandomGenerator rng(2024);
    QTemporaryDir dir;
    const QString in = dir.filePath(u"in"_s);
    const QString out = dir.filePath(u"out"_s);
    const QStringList allowed = { u"EConvertError"_s, u"EReadError"_s, u"EAESError"_s };

    auto damage = [&](std::string s, bool hexText) {
        switch (rng.bounded(5)) {
        case 0:
            if (!s.empty())
                s.resize(rng.bounded(quint32(s.size())));
            break;
        case 1:
            if (!s.empty())
                s[rng.bounded(quint32(s.size()))]
                    = hexText ? "0123456789abcdefXYZ -"[rng.bounded(21)] : char(rng.bounded(256));
            break;
        case 2:
            s += randomBytes(rng, rng.bounded(40));
            break;
        case 3:
            // Overwrite the length header.
            if (hexText)
                s.replace(0, std::min<size_t>(16, s.size()), StrToHex(randomBytes(rng, 8)));
            else
                s.replace(0, std::min<size_t>(8, s.size()), randomBytes(rng, 8));
            break;
        default:
            s.insert(rng.bounded(quint32(s.size() + 1)), randomBytes(rng, 1 + rng.bounded(3)));
        }
        return s;
    };

    // A result has the length its header records; a failure is one of the stated errors.
    auto check = [&](const QString& error, size_t resultSize, const std::string& input) {
        int64_t recorded = 0;
        if (error.isEmpty() && input.size() >= 8)
            std::memcpy(&recorded, input.data(), 8);
        if (error.isEmpty())
            QCOMPARE(int64_t(resultSize), recorded);
        else
            QVERIFY2(allowed.contains(error.section(u':', 0, 0)), qPrintable(error));
    };

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 2000 && timer.elapsed() < 3000; ++i) {
        const std::string text = randomBytes(rng, rng.bounded(70));
        const std::string hex = damage(AesEncryptString(text, "key", 2), true);
        std::string result;
        const QString error = errorText([&] { result = AesDecryptString(hex, "key", 2); });
        check(error, result.size(), error.isEmpty() ? HexToStr(hex) : std::string());

        if (i % 4 != 0)
            continue;
        // The file form holds the string form's bytes.
        const std::string stored = damage(HexToStr(AesEncryptString(text, kEbookKey, 2)), false);
        // Fresh files each time: replacing a file's contents makes some file systems flush it.
        QFile::remove(in);
        QFile::remove(out);
        writeFile(in, stored);
        const QString fileError = errorText([&] { AesDecryptFile(u8(in), u8(out), kEbookKey, 2); });
        check(fileError, readFile(out).size(), stored);
        std::string inMemory;
        QCOMPARE(errorText([&] { inMemory = AesDecryptFileToString(u8(in), kEbookKey, 2); }), fileError);
        QVERIFY(!fileError.isEmpty() || inMemory == readFile(out));
    }
}

QTEST_GUILESS_MAIN(TestAesFile)
#include "test_aesfile.moc"
