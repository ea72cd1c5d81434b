#pragma once

#include <QList>
#include <QPair>
#include <QString>

// An ADO-style connection string: "Key=Value;Key=Value;...". Keys keep their
// order and are looked up without regard to letter case; a value may be
// enclosed in double or single quotes (a doubled quote inside stands for one).
// An unquoted value may hold ";" as long as the text after it holds no "=" before
// the next ";" (as in a path or password filled into a template unchanged).
class ConnectionString
{
public:
    ConnectionString() = default;
    explicit ConnectionString(const QString& text);

    QString value(const QString& key) const; // "" when the key is absent
    bool contains(const QString& key) const;
    void setValue(const QString& key, const QString& value);
    const QList<QPair<QString, QString>>& pairs() const { return m_pairs; }

    QString toString() const;

private:
    QList<QPair<QString, QString>> m_pairs;
};
