// 照片识别 and 摄像头扫描: the current book's ISBN read from its barcode, then
// looked up as 联网查询 does. A photo is read while the window goes on
// working; another record or closing the window drops it.

#include "barcode/PhotoScan.h"
#include "catalogue/BarcodeInput.h"
#include "catalogue/manig.h"
#include "data/Isbn.h"
#include "data/RecordSet.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

const QString Reading = u"正在识别照片上的条码……"_s;

} // namespace

void TForm2::BtnScanPhotoClick()
{
    cancelScan();
    photoScan = BarcodeInput::fromPhoto(
        this, [this](const QString& isbn) { ErrorHandler::guard([this, &isbn] { takeScannedIsbn(isbn); }); });
    if (!photoScan)
        return;
    LblLookup->setText(Reading);
    connect(photoScan, &PhotoScan::finished, LblLookup, [this] {
        if (LblLookup->text() == Reading)
            LblLookup->clear();
    });
}

void TForm2::BtnScanCameraClick()
{
    cancelScan();
    BarcodeInput::fromCamera(this, TfmScan::Mode::OneBook,
        [this](const QString& isbn) { ErrorHandler::guard([this, &isbn] { takeScannedIsbn(isbn); }); });
}

void TForm2::cancelScan()
{
    if (photoScan)
        photoScan->cancel();
    photoScan = nullptr;
}

void TForm2::takeScannedIsbn(const QString& isbn)
{
    photoScan = nullptr;
    const QString current = DBmaster->isOpen() ? DBmaster->asText(u"isbn"_s).trimmed() : QString();
    if (Isbn::key(current) != Isbn::key(isbn)) {
        if (!current.isEmpty()
            && Prompt::message(this, QMessageBox::Question, Titles::hint(),
                   u"这本书的 ISBN 是 %1，换成条码上的 %2 吗？"_s.arg(current, isbn),
                   QMessageBox::Yes | QMessageBox::No, QString(), QMessageBox::No)
                != QMessageBox::Yes) {
            LblLookup->setText(u"条码上的 ISBN 是 %1，没有改动。"_s.arg(isbn));
            return;
        }
        DBmaster->edit();
        DBmaster->setText(u"isbn"_s, isbn);
    }
    BtnLookupClick();
}
