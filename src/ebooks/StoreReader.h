#pragma once

// A stored e-book's plain bytes, read front to back and decrypted a chunk at a
// time: memory stays at one chunk whatever the size of the book.
//
// open() checks the length header the way the cipher does and throws its
// errors (EFOpenError for a missing or unreadable store file, EAESError for a
// damaged one); reading stops at the plain length.

#include <QIODevice>

#include <memory>
#include <string>

class TFileStream;

class StoreReader : public QIODevice
{
public:
    explicit StoreReader(std::string path, QObject* parent = nullptr);
    ~StoreReader() override;

    // Opens the store file for reading; throws as said above.
    void openStored();

    bool isSequential() const override { return true; }
    // The plain length given by the header (0 before openStored()).
    qint64 plainSize() const { return m_plainSize; }
    qint64 bytesAvailable() const override
    {
        return m_plainSize - m_done + (qint64(m_chunk.size()) - m_taken) + QIODevice::bytesAvailable();
    }
    void close() override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::string m_path;
    std::unique_ptr<TFileStream> m_file;
    qint64 m_plainSize = 0;
    qint64 m_done = 0; // plain bytes decrypted so far
    std::string m_chunk; // the chunk being handed out
    qint64 m_taken = 0; // how much of it is handed out
};
