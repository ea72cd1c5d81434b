#pragma once

#include <QRandomGenerator>

#include <cstring>
#include <string>
#include <vector>

// n bytes from a seeded generator, four at a time.
inline std::string randomBytes(QRandomGenerator& rng, size_t n)
{
    std::vector<quint32> words((n + 3) / 4);
    rng.fillRange(words.data(), qsizetype(words.size()));
    std::string s(n, '\0');
    if (n > 0)
        std::memcpy(s.data(), words.data(), n);
    return s;
}
