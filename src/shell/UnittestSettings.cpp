// The main window's settings (设置), its automatic backup and its lock.

#include "shell/Unittest.h"

#include "backup/AutoBackupRunner.h"
#include "data/Options.h"
#include "data/udata.h"
#include "ebooks/EbookPage.h"
#include "shell/AppLock.h"
#include "shell/usettings.h"
#include "widgets/Prompt.h"
#include "widgets/Titles.h"

#include <QLabel>
#include <QStatusBar>

void TFormtest::buildGuards()
{
    Connection& connection = TDataModule2::instance()->Adocon;
    StatusBar1Backup = new QLabel(StatusBar1);
    StatusBar1Backup->setObjectName(QStringLiteral("StatusBar1Backup"));
    StatusBar1Backup->setStyleSheet(QStringLiteral("padding: 0 12px"));
    StatusBar1Backup->hide();
    StatusBar1->addPermanentWidget(StatusBar1Backup);
    m_autoBackup = new AutoBackupRunner(connection, this);
    connect(m_autoBackup, &AutoBackupRunner::statusChanged, this, [this](const QString& text) {
        StatusBar1Backup->setText(text);
        StatusBar1Backup->setVisible(!text.isEmpty());
    });

    m_lock = new AppLock(connection, this);
    m_lock->setHooks([this] { TabSheet2->locked(); }, [this] { TabSheet2->unlocked(); });
    int minutes = Options().lockMinutes;
    try {
        minutes = Options::load(connection).lockMinutes;
    } catch (const Exception&) { } // a library that cannot be read locks after the usual time
    m_lock->setIdleMinutes(minutes);
}

void TFormtest::setAccount(const QString& user)
{
    m_lock->setAccount(user);
}

void TFormtest::startAutoBackup()
{
    if (m_autoBackupTried)
        return;
    m_autoBackupTried = true; // once a run: a folder not found is said once, and tried at the next start
    m_autoBackup->startIfDue();
}

bool TFormtest::waitForAutoBackup()
{
    if (!m_autoBackup->isRunning())
        return false;
    Prompt::information(this, Titles::hint(), QStringLiteral("自动备份正在进行（进度见状态栏），请等它完成后再试。"));
    return true;
}

void TFormtest::dxNavBar1Item18Click()
{
    TfmSettings settings(TDataModule2::instance()->Adocon, this);
    if (settings.exec() == QDialog::Accepted)
        m_lock->setIdleMinutes(settings.options().lockMinutes);
}
