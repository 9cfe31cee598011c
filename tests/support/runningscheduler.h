#pragma once

#include "base/settings.h"

class DevServerProcess;
class MainNetworkThread;

// Points the settings store at a running development server with the given account
// and policy, and starts the program's scheduler singleton on its own thread, the way
// the main window does. For offscreen tests that drive the real views: they hand the
// scheduler returned to their views with setScheduler(), as the window does.
MainNetworkThread *startSchedulerFor(const DevServerProcess &server, const QString &login, const QString &password,
                       Settings::SyncType policy, int streams);
