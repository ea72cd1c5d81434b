#pragma once

#include <QList>
#include <QString>

// One result of the search box: a book, the field that matched and a short
// piece of that field around the match.
struct FindHit
{
    enum class Group
    {
        Paper, // "纸书"
        Ebook, // "电子书"
        FullText // "电子书全文"
    };
    Group group = Group::Paper;
    qint64 id = 0; // baseshu.id or dzbook.ID
    QString title;
    QString field; // the label of the field that matched ("作者", "第 12 页", ...)
    QString snippet;
    qsizetype markStart = -1; // the match inside snippet (-1: nothing marked)
    qsizetype markLength = 0;
    QString storedName; // e-books: the store file
    int page = -1; // full text: the page of the hit, from 0
};

struct FindResults
{
    QList<FindHit> paper;
    QList<FindHit> ebook;
    QList<FindHit> fullText;
    bool isEmpty() const { return paper.isEmpty() && ebook.isEmpty() && fullText.isEmpty(); }
};
