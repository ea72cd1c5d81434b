#pragma once

// Store files without a row: an import interrupted between a file and its row
// leaves one, and so does an older copy of the database put back by hand, which
// lacks the rows of every e-book imported since. Such files are never deleted:
// at the first visit of the e-book page the user is asked whether to take them
// back into the list. The ".part" remains of an interrupted import are removed.

#include "pdfworker/PdfWorkerClient.h"

#include <QString>
#include <QStringList>

class EbookStore;
class RecordSet;
class QWidget;

namespace OrphanBooks {

// The title a PDF gives itself in its document information, read by the PDF
// worker from the store file under its limits (blocking: not on the window's
// thread); empty when it has none or cannot be read.
QString titleOf(const QString& storeFile, const WorkerSettings& settings = WorkerSettings::standard(),
    const PdfWorkerClient::Cancelled& cancelled = {});

// Removes the stale ".part" files, then asks about the store files no row of
// list's table names ("发现 N 个没有记录的电子书文件，是否恢复？", their names,
// sizes and times behind 显示详情). Returns the stored names to take back: all
// of them on OK; none on Cancel, and the question comes again next time.
QStringList ask(QWidget* parent, RecordSet& list, const EbookStore& store);

// Appends a row through list for each of found, named by its title (titles,
// in the same order, as titleOf read them) or "找回的电子书 N". Returns how
// many rows were added.
int takeBack(RecordSet& list, const QStringList& found, const QStringList& titles);

} // namespace OrphanBooks
