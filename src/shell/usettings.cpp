#include "shell/usettings.h"

#include "backup/AutoBackup.h"
#include "data/Settings.h"
#include "platform/AppPaths.h"
#include "platform/Disks.h"
#include "widgets/ErrorHandler.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLineEdit* numberBox(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaximumWidth(80);
    return edit;
}

// A box with its unit after it.
QWidget* withUnit(QWidget* box, const QString& unit, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(box);
    layout->addWidget(new QLabel(unit, row), 1);
    return row;
}

bool inside(const QString& folder, const QString& outer)
{
    const QString a = QFileInfo(folder).canonicalFilePath();
    const QString b = QFileInfo(outer).canonicalFilePath();
    return !a.isEmpty() && !b.isEmpty() && (a == b || a.startsWith(b + u'/'));
}

} // namespace

TfmSettings::TfmSettings(Connection& connection, QWidget* parent)
    : QDialog(parent)
    , m_connection(connection)
    , EditBackupFolder(new QLineEdit(this))
    , BtnBackupFolder(new QPushButton(u"选择…"_s, this))
    , LabelSameDisk(new QLabel(this))
    , EditBackupDays(numberBox(u"EditBackupDays"_s, this))
    , EditBackupKeep(numberBox(u"EditBackupKeep"_s, this))
    , LabelLastBackup(new QLabel(this))
    , EditLockMinutes(numberBox(u"EditLockMinutes"_s, this))
    , EditTrashDays(numberBox(u"EditTrashDays"_s, this))
    , BtnOK(new QPushButton(u"确定"_s, this))
    , BtnCancel(new QPushButton(u"取消"_s, this))
{
    setObjectName(u"TfmSettings"_s);
    setWindowTitle(u"设置"_s);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    EditBackupFolder->setObjectName(u"EditBackupFolder"_s);
    EditBackupFolder->setMinimumWidth(320);
    BtnBackupFolder->setObjectName(u"BtnBackupFolder"_s);
    BtnBackupFolder->setAutoDefault(false);
    LabelSameDisk->setObjectName(u"LabelSameDisk"_s);
    LabelSameDisk->setWordWrap(true);
    LabelSameDisk->setStyleSheet(u"color: #b34700;"_s);
    // Room for the warning's two lines kept, so that the window does not jump when it shows.
    LabelSameDisk->setMinimumHeight(2 * LabelSameDisk->fontMetrics().lineSpacing() + 4);
    LabelSameDisk->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelLastBackup->setObjectName(u"LabelLastBackup"_s);
    BtnOK->setObjectName(u"BtnOK"_s);
    BtnCancel->setObjectName(u"BtnCancel"_s);
    BtnOK->setDefault(true); // Enter
    BtnCancel->setAutoDefault(false);

    auto* backupBox = new QGroupBox(u"自动备份"_s, this);
    auto* backupForm = new QFormLayout(backupBox);
    auto* folderRow = new QWidget(backupBox);
    auto* folderLayout = new QHBoxLayout(folderRow);
    folderLayout->setContentsMargins(0, 0, 0, 0);
    folderLayout->addWidget(EditBackupFolder, 1);
    folderLayout->addWidget(BtnBackupFolder);
    backupForm->addRow(u"备份文件夹："_s, folderRow);
    backupForm->addRow(QString(), LabelSameDisk);
    backupForm->addRow(u"每隔："_s, withUnit(EditBackupDays, u"天备份一次（0 = 不自动备份）"_s, backupBox));
    backupForm->addRow(u"保留："_s, withUnit(EditBackupKeep, u"份最新的自动备份（更早的自动删除）"_s, backupBox));
    backupForm->addRow(QString(), LabelLastBackup);

    auto* lockBox = new QGroupBox(u"离开时锁定"_s, this);
    auto* lockForm = new QFormLayout(lockBox);
    lockForm->addRow(u"无人操作："_s, withUnit(EditLockMinutes, u"分钟后锁定窗口（0 = 从不）"_s, lockBox));
    lockForm->addRow(QString(), new QLabel(u"电脑锁屏时，本程序也会一起锁定。"_s, lockBox));

    auto* trashBox = new QGroupBox(u"回收站"_s, this);
    auto* trashForm = new QFormLayout(trashBox);
    trashForm->addRow(u"删除的书保留："_s, withUnit(EditTrashDays, u"天，之后自动彻底删除（0 = 一直保留）"_s, trashBox));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(backupBox);
    layout->addWidget(lockBox);
    layout->addWidget(trashBox);
    layout->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(EditBackupFolder, BtnBackupFolder);
    setTabOrder(BtnBackupFolder, EditBackupDays);
    setTabOrder(EditBackupDays, EditBackupKeep);
    setTabOrder(EditBackupKeep, EditLockMinutes);
    setTabOrder(EditLockMinutes, EditTrashDays);
    setTabOrder(EditTrashDays, BtnOK);
    setTabOrder(BtnOK, BtnCancel);

    connect(EditBackupFolder, &QLineEdit::textChanged, this, &TfmSettings::folderChanged);
    connect(BtnBackupFolder, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnBackupFolderClick(); }));
    connect(BtnOK, &QPushButton::clicked, this, ErrorHandler::guarded([this] { BtnOKClick(); }));
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject); // Escape too
}

TfmSettings::~TfmSettings() = default;

void TfmSettings::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ErrorHandler::guard([this] { FormShow(); });
}

void TfmSettings::FormShow()
{
    m_options = Options::load(m_connection);
    EditBackupFolder->setText(QDir::toNativeSeparators(m_options.backupFolder));
    EditBackupDays->setText(QString::number(m_options.backupDays));
    EditBackupKeep->setText(QString::number(m_options.backupKeep));
    EditLockMinutes->setText(QString::number(m_options.lockMinutes));
    EditTrashDays->setText(QString::number(m_options.trashDays));
    const QDateTime last = QDateTime::fromString(
        Settings::value(m_connection, QString::fromLatin1(AutoBackup::lastKey)), Qt::ISODate);
    LabelLastBackup->setText(last.isValid()
            ? u"上次自动备份：%1"_s.arg(QLocale::c().toString(last.toLocalTime(), u"yyyy-MM-dd HH:mm"_s))
            : u"还没有自动备份过。"_s);
    EditBackupFolder->setFocus();
}

void TfmSettings::folderChanged()
{
    const QString folder = EditBackupFolder->text().trimmed();
    const bool same = !folder.isEmpty() && Disks::sameDisk(QDir::fromNativeSeparators(folder), AppPaths::dataDir());
    LabelSameDisk->setText(same ? u"注意：这个文件夹与书库在同一块磁盘上，磁盘坏了备份会和书库一起丢失。"
                                  "最好选U盘、另一块磁盘或同步文件夹。"_s
                                : QString());
}

void TfmSettings::BtnBackupFolderClick()
{
    const QString start = EditBackupFolder->text().trimmed();
    const QString chosen
        = Prompt::getExistingDirectory(this, u"选择备份文件夹"_s, start.isEmpty() ? QDir::homePath() : start);
    if (!chosen.isEmpty())
        EditBackupFolder->setText(QDir::toNativeSeparators(chosen));
}

bool TfmSettings::readNumber(
    QLineEdit* edit, const QString& name, int low, int high, const QString& meaning, int& out)
{
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    if (ok && value >= low && value <= high) {
        out = value;
        return true;
    }
    Prompt::message(this, QMessageBox::Warning, Titles::hint(),
        u"“%1”应填 %2 到 %3 之间的整数%4。"_s.arg(name).arg(low).arg(high).arg(meaning));
    edit->setFocus();
    edit->selectAll();
    return false;
}

void TfmSettings::BtnOKClick()
{
    using namespace OptionRanges;
    Options chosen = m_options;
    chosen.backupFolder = QDir::fromNativeSeparators(EditBackupFolder->text().trimmed());
    if (!readNumber(EditBackupDays, u"备份间隔"_s, 0, maxBackupDays, u"（天数，0 表示不自动备份）"_s, chosen.backupDays)
        || !readNumber(EditBackupKeep, u"保留份数"_s, minBackupKeep, maxBackupKeep, QString(), chosen.backupKeep)
        || !readNumber(EditLockMinutes, u"锁定分钟数"_s, 0, maxLockMinutes, u"（0 表示从不锁定）"_s, chosen.lockMinutes)
        || !readNumber(EditTrashDays, u"回收站保留天数"_s, minTrashDays, maxTrashDays, u"（0 表示一直保留）"_s, chosen.trashDays))
        return;
    const QString shown = QDir::toNativeSeparators(chosen.backupFolder);
    if (chosen.backupDays > 0 && chosen.backupFolder.isEmpty()) {
        Prompt::message(this, QMessageBox::Warning, Titles::hint(),
            u"请选择备份文件夹，或把“备份间隔”设为 0（不自动备份）。"_s);
        EditBackupFolder->setFocus();
        return;
    }
    if (!chosen.backupFolder.isEmpty() && QDir::isRelativePath(chosen.backupFolder)) {
        Prompt::message(this, QMessageBox::Warning, Titles::hint(),
            u"备份文件夹要写完整的路径（例如 /media/u盘/书库备份），“%1”不是。"_s.arg(shown));
        EditBackupFolder->setFocus();
        return;
    }
    if (!chosen.backupFolder.isEmpty() && inside(chosen.backupFolder, AppPaths::dataDir())) {
        Prompt::message(this, QMessageBox::Warning, Titles::hint(),
            u"备份文件夹不能在书库自己的数据文件夹里，请另选一个（最好在U盘或另一块磁盘上）。"_s);
        EditBackupFolder->setFocus();
        return;
    }
    if (!chosen.backupFolder.isEmpty() && !QFileInfo(chosen.backupFolder).isDir()
        && Prompt::message(this, QMessageBox::Question, Titles::hint(),
               u"现在找不到文件夹 %1（U盘没有插上？）。\n仍然用它吗？到时找不到，程序启动时会在状态栏提示。"_s.arg(shown),
               QMessageBox::Ok | QMessageBox::Cancel)
            != QMessageBox::Ok) {
        EditBackupFolder->setFocus();
        return;
    }
    chosen.save(m_connection);
    m_options = chosen;
    accept();
}
