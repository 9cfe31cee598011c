#include "remotelistshown.h"

#include "mainwindow.h"

#include <QSignalSpy>

bool showRemoteList(MainWindow &window, const QString &list)
{
    QSignalSpy shown(&window, &MainWindow::remoteTreeShown);
    window.updateRemoteTree(list);
    return !shown.isEmpty() || shown.wait(30000);
}
