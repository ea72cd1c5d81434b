#include "catalogue/BarcodeInput.h"

#include "barcode/PhotoScan.h"
#include "tasks/BackgroundTask.h"
#include "widgets/Prompt.h"
#include "widgets/TaskProgress.h"

#include <QFileInfo>
#include <QWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace BarcodeInput {
namespace {

    const QString Caption = u"照片识别"_s;

} // namespace

QString photoFilter()
{
    return u"照片 (*.jpg *.jpeg *.png *.webp *.bmp *.JPG *.JPEG *.PNG *.WEBP *.BMP);;所有文件 (*)"_s;
}

PhotoScan* fromPhoto(QWidget* window, std::function<void(const QString& isbn)> onIsbn)
{
    const QString path = Prompt::getOpenFileName(window, u"选择书背面条码的照片"_s, QString(), photoFilter());
    if (path.isEmpty())
        return nullptr;
    auto* scan = new PhotoScan({ path }, window);
    QObject::connect(scan, &PhotoScan::photoRead, window,
        [window, path, onIsbn = std::move(onIsbn)](int, const BarcodeScan::Result& result) {
            if (result.isbns.isEmpty())
                Prompt::information(window, Caption, BarcodeScan::message(result, path));
            else
                onIsbn(result.isbns.first());
        });
    QObject::connect(scan, &PhotoScan::finished, scan, &QObject::deleteLater);
    scan->start();
    new TaskProgress(scan->task(), window, Caption);
    return scan;
}

PhotoScan* fromPhotos(QWidget* window, std::function<void(const QStringList& isbns)> onIsbns)
{
    const QStringList paths
        = Prompt::getOpenFileNames(window, u"选择书背面条码的照片（可多选）"_s, QString(), photoFilter());
    if (paths.isEmpty())
        return nullptr;
    auto* scan = new PhotoScan(paths, window);
    auto unread = std::make_shared<QStringList>();
    QObject::connect(scan, &PhotoScan::photoRead, window,
        [paths, unread, onIsbns = std::move(onIsbns)](int index, const BarcodeScan::Result& result) {
            if (result.isbns.isEmpty())
                *unread << QFileInfo(paths[index]).fileName();
            else
                onIsbns(result.isbns);
        });
    QObject::connect(scan, &PhotoScan::finished, window, [window, scan, unread] {
        const bool stopped = scan->task() && scan->task()->wasCancelled();
        if (!unread->isEmpty() && !stopped) {
            const qsizetype shown = std::min<qsizetype>(unread->size(), 10);
            Prompt::message(window, QMessageBox::Information, Caption,
                u"%1 张照片上没有读到图书的 ISBN 条码：%2%3"_s.arg(unread->size())
                    .arg(unread->mid(0, shown).join(u"、"_s), shown < unread->size() ? u"……"_s : QString()),
                QMessageBox::Ok, unread->join(u'\n'));
        }
        scan->deleteLater();
    });
    scan->start();
    auto* progress = new TaskProgress(scan->task(), window, Caption);
    progress->setLabel([](qint64 done, qint64 total, const QString&) {
        return u"正在识别照片上的条码（%1/%2）……"_s.arg(done).arg(total);
    });
    return scan;
}

TfmScan* fromCamera(QWidget* window, TfmScan::Mode mode, std::function<void(const QString& isbn)> onIsbn)
{
    TfmScan* scan = TfmScan::open(mode, window);
    if (scan)
        QObject::connect(scan, &TfmScan::isbnScanned, window, std::move(onIsbn));
    return scan;
}

} // namespace BarcodeInput
