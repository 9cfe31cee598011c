#include "startup.h"

#include "mainwindow.h"
#include "remotetree/protocoltextcheck.h"
#include "settings.h"

#include <QMessageBox>
#include <QSettings>
#include <QThreadPool>

void StartUp::configureApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("PelorinClient"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.87"));
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvarhold"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kelvarhold.net"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QThreadPool::globalInstance()->setMaxThreadCount(MaxThreadCount);
}

bool StartUp::isAccountIncomplete()
{
    const Settings *settings = Settings::getInstance();
    const QString login = settings->getLogin();
    const QString pass = settings->getPass();
    return login.isEmpty() || pass.isEmpty();
}

void StartUp::warnOnIncompleteAccount(MainWindow *window)
{
    const Settings *settings = Settings::getInstance();
    const QString problem = ProtocolTextCheck::accountProblem(settings->getLogin(), settings->getPass());
    if (!problem.isEmpty()) {
        // Read from the settings file; nothing is sent until it is corrected in Options.
        QMessageBox box(QMessageBox::Warning, tr("Warning!"),
                        problem + QLatin1Char('\n') + tr("Nothing is sent to the server until it is corrected in Options."),
                        QMessageBox::Ok, window);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    if (isAccountIncomplete())
        window->signIn();
}
