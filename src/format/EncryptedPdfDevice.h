#pragma once

// A stored e-book read as its plain bytes, straight from its store file: a
// random-access, read-only device that decrypts on demand the part asked for.
// The store file is enciphered block by block (ECB), so any byte range can be
// deciphered alone: the device reads whole aligned chunks, deciphers them in
// memory and keeps the few most recently used; long reads go straight into the
// caller's buffer. Nothing deciphered is written anywhere.
//
// The store file stays open while the device lives: a document the viewer
// shows reads from it page by page.

#include <QIODevice>

#include <functional>
#include <memory>
#include <vector>

namespace StoreFile {
class Reader;
}

class EncryptedPdfDevice : public QIODevice
{
    Q_OBJECT
public:
    // Opens storeFile for reading and checks its form as the file cipher does,
    // before anything is shown: EFOpenError when it cannot be opened,
    // EReadError "Stream read error" when its length header is short, EAESError
    // when its ciphertext is empty or not whole blocks, or its header records
    // more bytes than it holds.
    explicit EncryptedPdfDevice(const QString& storeFile, QObject* parent = nullptr);
    ~EncryptedPdfDevice() override;

    QString storeFile() const { return m_storeFile; }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_length; }
    // Opened by the constructor; reopening is refused.
    bool open(OpenMode mode) override;

    // Called with the bytes copied so far and the total; returning false stops the copy.
    using Progress = std::function<bool(qint64 done, qint64 total)>;
    // Copies the whole plain document into out, a chunk at a time. False when
    // progress stopped it; EWriteError when out refuses bytes, EReadError when
    // the store file ends early.
    bool copyTo(QIODevice& out, const Progress& progress = {});

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    struct Chunk
    {
        qint64 index = -1;
        quint64 used = 0;
        std::unique_ptr<char[]> bytes;
    };

    const Chunk* chunk(qint64 index);

    QString m_storeFile;
    std::unique_ptr<StoreFile::Reader> m_file;
    qint64 m_length = 0; // plain bytes, from the length header
    qint64 m_cipherBytes = 0;
    std::vector<Chunk> m_cache;
    quint64 m_uses = 0;
};
