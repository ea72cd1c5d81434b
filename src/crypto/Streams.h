#pragma once

#include <cstdint>
#include <string>

// The byte streams the cipher works on: an abstract stream with a 64-bit size
// and position, an in-memory stream and a file stream. Reads and writes return
// how many bytes they moved; readBuffer/writeBuffer insist on the whole count.
class TStream
{
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    virtual int64_t size() const = 0;
    virtual void setSize(int64_t newSize) = 0;
    virtual int64_t position() const = 0;
    virtual void setPosition(int64_t pos) = 0;

    // Moves up to count bytes and returns how many were moved; fewer than
    // count means end of data or a failure.
    virtual int64_t read(void* buffer, int64_t count) = 0;
    virtual int64_t write(const void* buffer, int64_t count) = 0;

    // Whole-count forms: EReadError / EWriteError "Stream read error" /
    // "Stream write error" when fewer bytes move.
    void readBuffer(void* buffer, int64_t count);
    void writeBuffer(const void* buffer, int64_t count);
};

// A growable stream over a byte string held in memory.
class TMemoryStream : public TStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes);

    int64_t size() const override { return static_cast<int64_t>(m_bytes.size()); }
    void setSize(int64_t newSize) override;
    int64_t position() const override { return m_position; }
    void setPosition(int64_t pos) override { m_position = pos < 0 ? 0 : pos; }
    int64_t read(void* buffer, int64_t count) override;
    int64_t write(const void* buffer, int64_t count) override;

    const std::string& bytes() const { return m_bytes; }
    std::string takeBytes();

private:
    std::string m_bytes;
    int64_t m_position = 0;
};

// A stream over an operating-system file, addressed by a UTF-8 path.
class TFileStream : public TStream
{
public:
    enum class Mode
    {
        OpenRead, // an existing file, read only
        Create, // a new file, or an existing one emptied; read and write
    };

    // EFOpenError / EFCreateError: Cannot open file "<full path>". <reason>
    TFileStream(const std::string& path, Mode mode);
    ~TFileStream() override;

    int64_t size() const override;
    void setSize(int64_t newSize) override;
    int64_t position() const override;
    void setPosition(int64_t pos) override;
    int64_t read(void* buffer, int64_t count) override;
    int64_t write(const void* buffer, int64_t count) override;

    // Closes the file now; EWriteError "Stream write error" if the system
    // reports a failure on closing (data that did not reach the file).
    void close();

    // True when path names this very file (also through another name or a link).
    bool isSameFile(const std::string& path) const;

    // The absolute, normalised form of path, as error messages show it.
    static std::string fullPath(const std::string& path);

private:
    int m_fd = -1;
};
