#pragma once

// ISBNs from barcodes, for the windows that take them (the editor's 照片识别
// and 摄像头扫描, the batch window's photos and camera): the photo chosen
// through Prompt's file dialog and read off the window's thread, the camera
// through TfmScan. A photo without an ISBN barcode is told in plain words.

#include "catalogue/TfmScan.h"

#include <QString>
#include <QStringList>

#include <functional>

class PhotoScan;
class QWidget;

namespace BarcodeInput {

// What the photo dialogs offer.
QString photoFilter();

// One photo: onIsbn gets the first ISBN it holds; a message otherwise. The
// scan (a child of window) is returned so the caller can cancel it; nullptr
// when no photo was chosen.
PhotoScan* fromPhoto(QWidget* window, std::function<void(const QString& isbn)> onIsbn);

// Several photos: onIsbns gets each photo's ISBNs as it is read; at the end one
// message names the photos without any. A progress dialog with 取消 shows when it lasts.
PhotoScan* fromPhotos(QWidget* window, std::function<void(const QStringList& isbns)> onIsbns);

// The camera window, onIsbn for every book it reads; nullptr (after the
// message) when there is no camera.
TfmScan* fromCamera(QWidget* window, TfmScan::Mode mode, std::function<void(const QString& isbn)> onIsbn);

} // namespace BarcodeInput
