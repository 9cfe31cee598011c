#pragma once

#include <QString>

class MainWindow;

// Gives window a new list and waits until its tree shows in the remote pane: the
// window builds a list on a worker thread. False when it did not show in time.
bool showRemoteList(MainWindow &window, const QString &list);
