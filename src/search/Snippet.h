#pragma once

#include <QString>
#include <QStringList>

// A short piece of a field around a match, the match marked by its place.
struct Snippet
{
    QString text;
    qsizetype markStart = -1;
    qsizetype markLength = 0;

    // The first place in text where one of needles occurs, letter case
    // ignored, with up to `context` characters on each side; line breaks
    // become blanks and a cut end gets "…". Without a match: the field's
    // beginning, nothing marked.
    static Snippet around(const QString& text, const QStringList& needles, int context = 24);
};
