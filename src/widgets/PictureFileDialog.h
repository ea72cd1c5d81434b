#pragma once

#include <QFileDialog>

class QLabel;

// A file-open dialog with a preview of the picture under the cursor. Reached
// through Prompt::getOpenPictureName.
class PictureFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    PictureFileDialog(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);

    static QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);

private:
    void showPreview(const QString& path);
    QLabel* m_preview;
};
