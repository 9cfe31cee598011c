#include <QApplication>
#include <QMainWindow>
#include <QSettings>

#include <curl/curl.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kelvarhold"));
    QApplication::setApplicationName(QStringLiteral("PelorinClient"));
    QApplication::setApplicationVersion(QStringLiteral("0.87"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    curl_global_init(CURL_GLOBAL_ALL);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Pelorin Client"));
    window.resize(800, 500);
    window.show();

    const int status = app.exec();
    curl_global_cleanup();
    return status;
}
