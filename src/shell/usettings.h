#pragma once

#include "data/Options.h"

#include <QDialog>

class Connection;
class QLabel;
class QLineEdit;
class QPushButton;

// The settings window (设置): the folder, interval and number of the automatic
// backups, the minutes without input after which the window locks itself, and
// the days the recycle bin keeps what was deleted. 确定 checks every value and
// keeps them in the library; a bad one is named in a message and nothing is kept.
class TfmSettings : public QDialog
{
    Q_OBJECT
public:
    explicit TfmSettings(Connection& connection, QWidget* parent = nullptr);
    ~TfmSettings() override;

    void FormShow(); // the values kept, into the boxes
    void BtnBackupFolderClick(); // choose the folder
    void BtnOKClick(); // check, keep, close
    // The values accepted by the last 确定.
    const Options& options() const { return m_options; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void folderChanged();
    // The number in a box, or a message naming it and the box focused.
    bool readNumber(QLineEdit* edit, const QString& name, int low, int high, const QString& meaning, int& out);

    Connection& m_connection;
    Options m_options;
    QLineEdit* EditBackupFolder;
    QPushButton* BtnBackupFolder;
    QLabel* LabelSameDisk;
    QLineEdit* EditBackupDays;
    QLineEdit* EditBackupKeep;
    QLabel* LabelLastBackup;
    QLineEdit* EditLockMinutes;
    QLineEdit* EditTrashDays;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;
};
