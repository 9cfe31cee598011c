#include "startup.h"

#include "base/settings.h"
#include "mainwindow.h"
#include "wire/protocoltextcheck.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QSettings>
#include <QThreadPool>
#include <QTranslator>

void StartUp::configureApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("PelorinClient"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.87"));
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvarhold"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kelvarhold.net"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QThreadPool::globalInstance()->setMaxThreadCount(MaxThreadCount);
}

bool StartUp::installTranslations(const QLocale &locale)
{
    // Owned by the application object; they stay installed until it is destroyed.
    auto *qtTranslator = new QTranslator(QCoreApplication::instance());
    if (qtTranslator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTranslator);
    else
        delete qtTranslator;

    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(locale, QStringLiteral("pelorinclient"), QStringLiteral("_"), QStringLiteral(":/i18n"))) {
        QCoreApplication::installTranslator(translator);
        return true;
    }
    delete translator;
    return false;
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
