#include "widgets/MainRefresh.h"

#include <QCoreApplication>
#include <QWidget>

void sendMainRefresh(QWidget* main)
{
    if (!main)
        return;
    QEvent refresh(MainRefreshEvent);
    QCoreApplication::sendEvent(main, &refresh);
}
