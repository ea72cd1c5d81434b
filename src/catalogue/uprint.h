#pragma once

#include "catalogue/CataloguePrint.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class QRadioButton;

// What to print: every book (the choice it starts on) or those the search
// shows, grouped by category or by place, with or without covers. The grouping
// and the covers are remembered from one print to the next.
class TfmPrint : public QDialog
{
    Q_OBJECT
public:
    TfmPrint(int shown, int all, QWidget* parent = nullptr);

    bool onlyShown() const;
    PrintOptions options() const;

    // The choices to remember as one short text, and the dialog set from such a text.
    QString remembered() const;
    void recall(const QString& text);

private:
    QRadioButton* RbAll;
    QRadioButton* RbShown;
    QRadioButton* RbByCategory;
    QRadioButton* RbByPlace;
    QCheckBox* CbCovers;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;
};
