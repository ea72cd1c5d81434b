#pragma once

#include "widgets/TextWidths.h"

#include <QDialog>
#include <QHash>
#include <QPointer>

#include <array>
#include <optional>

class DateField;
class PictureLoader;
class PhotoScan;
class PicturePanel;
class QComboBox;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTableView;
class QTimer;
class RecordSet;
class RecordSetModel;
class ThreadTask;
struct CsvImportPlan;
namespace BookPictures {
struct Decoded;
}
namespace Lookup {
class BookLookup;
struct Answer;
}

// The catalogue editor: the paper books in a grid, the current book in data-bound
// controls, its category by name, and its cover and five illustrations.
class TForm2 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Handlers, public so the program and its tests can run them as the user would.
    void FormShow();
    void BitBtn1Click(); // 增加
    void BitBtn3Click(); // 编缉
    void BitBtn2Click(); // 保存
    void BitBtn4Click(); // 取消
    void BitBtn5Click(); // 删除
    void Button2Click(); // 查询
    void BtnCsvExportClick(); // 导出CSV
    void BtnCsvImportClick(); // 导入CSV
    void Edit1KeyDown(int key); // Enter searches
    void DBGrid1KeyDown(); // Ctrl+Delete
    void DBmasterAfterScroll();
    void BtnLendClick(); // 借出: the lending dialog for the current book
    void BtnReturnClick(); // 归还
    void BtnPrintClick(); // 打印书目: the catalogue as a PDF
    void BtnHistoryClick(); // 历史版本 of the current book
    // Whether a CSV file or a printed catalogue is being made (on a thread); the
    // three buttons wait for it.
    bool isWorking() const;
    void BtnLookupClick(); // 联网查询: fills the book from its ISBN, without waiting for the answer
    // Stops a look-up in progress (Escape, another record); nothing it finds is filled in.
    void cancelLookup();
    bool lookupRunning() const { return lookupTicket != 0; }
    Lookup::BookLookup* bookLookup() const { return lookup; }
    void BtnScanPhotoClick(); // 照片识别: the ISBN from a photo of the barcode, then the look-up
    void BtnScanCameraClick(); // 摄像头扫描: the same from the camera
    // An ISBN read from a barcode: into the current book's field (after a question
    // when it holds another ISBN), and the look-up starts.
    void takeScannedIsbn(const QString& isbn);
    // The row of the ISBN field and the buttons that fill it; more such buttons may join.
    QHBoxLayout* isbnRow() const { return isbnButtons; }
    // The six upload buttons: slot 0 is the cover (Button1), 1..5 the illustrations (Button3..Button7).
    void upload(int slot);
    // Re-reads the books from the library (after a restore): a pending edit is
    // dropped, the category box and the current book's pictures follow.
    void reread();
    // Closing (the window's button, Escape) with a new book not yet saved asks first.
    void reject() override;

    // The statement of a search for this text in the titles.
    QString searchStatement(const QString& text) const;

    RecordSet* master() const { return DBmaster; }
    PicturePanel* panel(int slot) const { return panels[std::size_t(slot)]; }
    PictureLoader* pictureLoader() const { return loader; }
    // Whether the pictures of the current book are still on their way.
    bool picturesPending() const;
    // Decodes them now and shows them before returning (for tests and measurements).
    void waitForPictures();

signals:
    // The pictures of the current book are decoded and shown (or stopped at an error).
    void picturesShown();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildLayout();
    void fitTitleColumn();
    // The widest of a column's texts as the grid shows them, looking no further once one reaches enough.
    int widestText(const QString& field, int enough);
    void runSearch(const QString& text);
    void refreshCategory();
    void clearPictures();
    void loadPictures();
    void showPictures(const QList<BookPictures::Decoded>& pictures);
    QHBoxLayout* buildLoanRow(QWidget* page);
    std::optional<qint64> currentBook() const; // the id of a saved current book
    void refreshLoanAndDates();
    void dateEdited(DateField* edit);
    bool readyForLoan();
    void confirmCsvImport(const CsvImportPlan& plan);
    void lookupAnswered(int ticket, const Lookup::Answer& answer);
    void cancelScan();
    void fillFromLookup(const Lookup::Answer& answer);

    RecordSet* DBmaster;
    RecordSet* Query1;
    RecordSetModel* model = nullptr;
    PictureLoader* loader;
    QTimer* pictureTimer; // the pictures of the row where a quick run of moves stops
    QString searchText; // of the search the list shows
    int masterState = 0; // the books' last state (RecordSet::State), to tell an opening from a post
    QPointer<ThreadTask> job; // the CSV file or printed catalogue being made
    QHash<QString, QString> categoryNames; // id -> name, for the grid
    TextWidths textWidths; // the grid's titles and places, measured

    QScrollArea* scroll = nullptr;
    QComboBox* CBleib = nullptr;
    QLineEdit* Edit1 = nullptr;
    QTableView* DBGrid1 = nullptr;
    DateField* EdDateAdded = nullptr;
    DateField* EdDateStarted = nullptr;
    DateField* EdDateFinished = nullptr;
    QLabel* LblLoan = nullptr;
    QLabel* LblLookup = nullptr;
    QLineEdit* isbnEdit = nullptr;
    QHBoxLayout* isbnButtons = nullptr;
    Lookup::BookLookup* lookup = nullptr;
    int lookupTicket = 0;
    QPointer<PhotoScan> photoScan; // a photo being read for the current book
    std::array<PicturePanel*, 6> panels {};
    std::array<bool, 6> uploadedSinceRefresh {};
};
