#pragma once

// The guard every load of a stored e-book into the PDF engine passes: reading,
// and the text extraction of the search. The first time a book is asked about,
// its plain bytes are tried in a helper process (PdfProbe), streamed from the
// store file; the answer is kept in the table qh_pdfcheck by stored name, so
// later loads cost one lookup. A book that made the helper hang or fall over
// is never handed to the engine again.
//
//     PdfGuard guard(connection);
//     if (!guard.isSafe(storedName, password))
//         → show PdfGuard::refusal() instead of loading

#include <QString>

class Connection;
class EbookStore;

class PdfGuard
{
public:
    explicit PdfGuard(Connection& connection);

    // Whether the book's bytes may be loaded here. A wrong password, a damaged
    // document and a helper that could not start are not recorded: the engine
    // reports the first two quickly by itself, and the check is tried again next
    // time. Throws the store's errors (a missing or damaged store file), the
    // same ones reading the book would give.
    bool isSafe(const EbookStore& store, const QString& storedName, const QString& password);

    // The recorded verdict: "ok", "bad", or empty when the book was not checked yet.
    QString recorded(const QString& storedName);
    // A deleted book's verdict goes with it.
    void forget(const QString& storedName);

    // What the reader shows for a book that is set aside.
    static QString refusal();

private:
    void record(const QString& storedName, const char* verdict);

    Connection& m_connection;
};
