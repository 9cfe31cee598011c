#pragma once

#include <QCoreApplication>
#include <QLocale>

class MainWindow;

// What the entry point does before and after building the main window: the names
// under which Qt files the settings, the settings format, the thread pool, and the
// sign-in that an account which is not configured asks for.
class StartUp final
{
    Q_DECLARE_TR_FUNCTIONS(StartUp)

public:
    static constexpr int MaxThreadCount = 250;

    // Application and organisation names, version, INI settings, thread pool.
    static void configureApplication();
    // The program's translation for `locale` from the resources, and Qt's own texts
    // (standard buttons, file dialogs) from Qt's translations folder when installed.
    // English needs none; returns whether the program's own translation was found.
    static bool installTranslations(const QLocale &locale);
    // True when the login is empty, or a login is stored without a password.
    static bool isAccountIncomplete();
    // The sign-in dialog over `window` when the account is incomplete; the "Warning!"
    // box when the stored login or password cannot be sent (it names which).
    static void warnOnIncompleteAccount(MainWindow *window);
};
