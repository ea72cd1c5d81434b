#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// What the search box looks for, worked out once from the typed text: the
// forms of the text (as typed, simplified, traditional), the ISBN forms when
// it reads as an ISBN, and the letters to look up in the pinyin index.
struct FindQuery
{
    QString text; // trimmed, without control characters
    QStringList needles; // TextForms::variants(text)
    QStringList isbnForms; // Isbn::forms(text)
    QString pinyin; // lower-case letters when the text is Latin letters only, else empty
    // The rows whose pinyin holds those letters, per table ("baseshu", "dzbook"):
    // id -> the label of the field spelled. Filled by FieldSearch::addPinyin on
    // the thread that owns the library's connection.
    QHash<QString, QHash<qint64, QString>> pinyinHits;

    static FindQuery from(const QString& typed);
    bool isEmpty() const { return text.isEmpty(); }
};
