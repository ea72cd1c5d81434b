#pragma once

#include "catalogue/BatchStack.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
namespace Lookup {
class BookLookup;
struct Answer;
}

// 批量添加: a stack of books entered by their ISBNs (typed, pasted, sent by a
// USB barcode scanner as digits and Enter, or read from photos and the
// camera), each looked up while the next is entered, then added to the
// library at once with one category, place and reading status.
class TfmBatch : public QDialog
{
    Q_OBJECT
public:
    explicit TfmBatch(QWidget* parent = nullptr);
    ~TfmBatch() override;

    // Puts these ISBNs on the stack and looks them up (the photo and camera
    // readers hand theirs in here).
    void addIsbns(const QStringList& isbns);
    void BtnBatchAddClick(); // 加入书库
    void BtnBatchPhotosClick(); // 照片识别…: the ISBNs of several photos at once
    void BtnBatchCameraClick(); // 摄像头扫描: one book after another
    void removeRow(int row);
    // Closing with books not added asks first.
    void reject() override;

    const BatchStack& stack() const { return m_stack; }
    Lookup::BookLookup* bookLookup() const { return m_lookup; }
    // How many books went into the library since the window opened.
    int addedCount() const { return m_added; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void takeTyped();
    void answered(int ticket, const Lookup::Answer& answer);
    void showRow(int row);
    void showAll();
    void cellEdited(int row, int column);
    void updateSummary();

    BatchStack m_stack;
    Lookup::BookLookup* m_lookup;
    int m_added = 0;
    bool m_showing = false; // cells being written by the window, not the family
    QLineEdit* EdBatchIsbn = nullptr;
    QTableWidget* LstBatch = nullptr;
    QComboBox* CbBatchCategory = nullptr;
    QLineEdit* EdBatchPlace = nullptr;
    QComboBox* CbBatchStatus = nullptr;
    QLabel* LblBatchSummary = nullptr;
};
