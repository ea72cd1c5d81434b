#include "catalogue/uprint.h"

#include "widgets/Named.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QGroupBox* box(const QString& title, QWidget* first, QWidget* second, QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(first);
    layout->addWidget(second);
    return group;
}

} // namespace

TfmPrint::TfmPrint(int shown, int all, QWidget* parent)
    : QDialog(parent)
    , RbAll(named(new QRadioButton(u"全部图书（%1 本）"_s.arg(all), this), u"RbAll"_s))
    , RbShown(named(new QRadioButton(u"当前查询结果（%1 本）"_s.arg(shown), this), u"RbShown"_s))
    , RbByCategory(named(new QRadioButton(u"按类别"_s, this), u"RbByCategory"_s))
    , RbByPlace(named(new QRadioButton(u"按存放地点"_s, this), u"RbByPlace"_s))
    , CbCovers(named(new QCheckBox(u"印出封面缩略图"_s, this), u"CbCovers"_s))
    , BtnOK(named(new QPushButton(u"确定"_s, this), u"BtnOK"_s))
    , BtnCancel(named(new QPushButton(u"取消"_s, this), u"BtnCancel"_s))
{
    setObjectName(u"TfmPrint"_s);
    setWindowTitle(u"打印书目"_s);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // Two separate choices: each pair in a group of its own.
    for (auto [a, b] : { std::pair { RbAll, RbShown }, std::pair { RbByCategory, RbByPlace } }) {
        auto* group = new QButtonGroup(this);
        group->addButton(a);
        group->addButton(b);
        a->setChecked(true);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box(u"范围"_s, RbAll, RbShown, this));
    layout->addWidget(box(u"分组"_s, RbByCategory, RbByPlace, this));
    layout->addWidget(CbCovers);
    layout->addLayout(buttons);
    BtnOK->setDefault(true);
    connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfmPrint::onlyShown() const
{
    return RbShown->isChecked();
}

PrintOptions TfmPrint::options() const
{
    PrintOptions options;
    options.grouping = RbByPlace->isChecked() ? PrintOptions::Grouping::Place : PrintOptions::Grouping::Category;
    options.covers = CbCovers->isChecked();
    return options;
}

QString TfmPrint::remembered() const
{
    return u"group=%1;covers=%2"_s.arg(RbByPlace->isChecked() ? u"place"_s : u"category"_s)
        .arg(CbCovers->isChecked() ? 1 : 0);
}

void TfmPrint::recall(const QString& text)
{
    for (const QString& pair : text.split(u';', Qt::SkipEmptyParts)) {
        const QString name = pair.section(u'=', 0, 0);
        const QString value = pair.section(u'=', 1);
        if (name == u"group"_s)
            (value == u"place"_s ? RbByPlace : RbByCategory)->setChecked(true);
        else if (name == u"covers"_s)
            CbCovers->setChecked(value == u"1"_s);
    }
}
