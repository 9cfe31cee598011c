#pragma once

#include "base/settings.h"

class DevServerProcess;

// Points the settings store at a running development server with the given account
// and policy, and starts the program's scheduler singleton on its own thread, the way
// the main window does. For offscreen tests that drive the real views.
void startSchedulerFor(const DevServerProcess &server, const QString &login, const QString &password,
                       Settings::SyncType policy, int streams);
