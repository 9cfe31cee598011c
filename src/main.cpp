#include "mainwindow.h"
#include "startup.h"

#include <QApplication>

#include <curl/curl.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    StartUp::configureApplication();
    StartUp::installTranslations(QLocale::system());
    // Ties the windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("net.kelvarhold.PelorinClient"));
    // The window may be hidden in the tray while the transfer window is closed; the
    // program ends when the main window really closes, not with its last window.
    QApplication::setQuitOnLastWindowClosed(false);
    curl_global_init(CURL_GLOBAL_ALL);

    int status = 0;
    {
        MainWindow window;
        window.show();
        StartUp::warnOnIncompleteAccount(&window);
        status = app.exec();
    }
    curl_global_cleanup();
    return status;
}
