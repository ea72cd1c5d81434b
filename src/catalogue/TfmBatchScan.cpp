// 批量添加's barcode buttons: the ISBNs of photos (several at once, read off
// the window's thread) and of the camera (one book after another) join the
// stack as typed ones do.

#include "catalogue/BarcodeInput.h"
#include "catalogue/TfmBatch.h"
#include "widgets/ErrorHandler.h"

void TfmBatch::BtnBatchPhotosClick()
{
    BarcodeInput::fromPhotos(
        this, [this](const QStringList& isbns) { ErrorHandler::guard([this, &isbns] { addIsbns(isbns); }); });
}

void TfmBatch::BtnBatchCameraClick()
{
    BarcodeInput::fromCamera(this, TfmScan::Mode::OneAfterAnother,
        [this](const QString& isbn) { ErrorHandler::guard([this, &isbn] { addIsbns({ isbn }); }); });
}
