#pragma once

#include "crypto/Streams.h"

#include <algorithm>

// An in-memory stream that moves only so many bytes in all, then moves no
// more: reads come up short after readLimit bytes, writes after writeLimit
// (a negative limit never fails). What it does move, it moves for real.
class FaultyStream : public TMemoryStream
{
public:
    explicit FaultyStream(std::string bytes = {}, int64_t readLimit = -1, int64_t writeLimit = -1)
        : TMemoryStream(std::move(bytes))
        , m_readLeft(readLimit)
        , m_writeLeft(writeLimit)
    { }

    int64_t read(void* buffer, int64_t count) override
    {
        const int64_t n = m_readLeft < 0 ? count : std::min(count, m_readLeft);
        const int64_t got = TMemoryStream::read(buffer, n);
        if (m_readLeft >= 0)
            m_readLeft -= got;
        return got;
    }

    int64_t write(const void* buffer, int64_t count) override
    {
        const int64_t n = m_writeLeft < 0 ? count : std::min(count, m_writeLeft);
        const int64_t put = TMemoryStream::write(buffer, n);
        if (m_writeLeft >= 0)
            m_writeLeft -= put;
        return put;
    }

private:
    int64_t m_readLeft;
    int64_t m_writeLeft;
};
