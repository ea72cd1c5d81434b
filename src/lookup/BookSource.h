#pragma once

// One online source of book data. A source knows its address and the form of
// its answers; asking, limits and merging are BookLookup's. A further source
// is one more class like OpenLibrarySource.
//
// parse() runs off the window's thread on answers from the network: it must
// take any bytes (a malformed, hostile or truncated answer) without harm.

#include "lookup/BookFields.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <memory>

namespace Lookup {

struct SourceAnswer
{
    enum class Kind
    {
        Found,
        NotFound,
        Malformed, // not an answer of this source's form
    };
    Kind kind = Kind::NotFound;
    BookFields fields; // Found: as the source gives them (cleaned and cut later)
};

class BookSource
{
public:
    virtual ~BookSource() = default;
    // A short name for messages and logs.
    virtual QString name() const = 0;
    // The request for a 13-digit ISBN.
    virtual QUrl requestUrl(const QString& isbn13) const = 0;
    virtual SourceAnswer parse(const QByteArray& answer, const QString& isbn13) const = 0;
    // Whether this source comes before the others for this ISBN.
    virtual bool preferredFor(const QString& isbn13) const = 0;
};

// The base address: the environment variable when set, else the public one.
QUrl baseUrl(const char* variable, const QString& publicAddress);

// The two sources, their bases from QINGHE_OPENLIBRARY_URL and
// QINGHE_GOOGLEBOOKS_URL; the first is the one whose cover is taken first.
std::unique_ptr<BookSource> openLibrary();
std::unique_ptr<BookSource> googleBooks();

} // namespace Lookup
