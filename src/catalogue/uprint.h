#pragma once

#include "catalogue/CataloguePrint.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class QRadioButton;

// What to print: every book or those the search shows, grouped by category or
// by place, with or without covers.
class TfmPrint : public QDialog
{
    Q_OBJECT
public:
    TfmPrint(int shown, int all, QWidget* parent = nullptr);

    bool onlyShown() const;
    PrintOptions options() const;

private:
    QRadioButton* RbAll;
    QRadioButton* RbShown;
    QRadioButton* RbByCategory;
    QRadioButton* RbByPlace;
    QCheckBox* CbCovers;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;
};
