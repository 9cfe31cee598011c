#include "settingsfile.h"

#include "logging.h"
#include "settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTime>

namespace {
constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The file holds the password: make sure it exists readable by its owner only before
// anything is written into it (QSettings keeps an existing file's permissions).
bool prepareOwnerOnlyFile(const QString &path, QString &error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        error = QCoreApplication::translate("SettingsFile", "Cannot create the folder %1.")
                    .arg(info.absolutePath());
        return false;
    }
    if (info.exists()) {
        // An older file may be readable by others: tighten it before writing.
        if (QFile::setPermissions(path, ownerOnly))
            return true;
        error = QCoreApplication::translate("SettingsFile",
                                            "Cannot make %1 readable by its owner only.")
                    .arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly, ownerOnly)) {
        error = QCoreApplication::translate("SettingsFile", "Cannot create %1: %2")
                    .arg(path, file.errorString());
        return false;
    }
    return true;
}
} // namespace

SettingsFile::SettingsFile(const QString &fileName) : path(fileName)
{
    if (path.isEmpty()) {
        path = QSettings(QSettings::IniFormat, QSettings::UserScope,
                         QCoreApplication::organizationName(),
                         QCoreApplication::applicationName())
                   .fileName();
    }
}

SettingsFile::WindowLayout SettingsFile::load() const
{
    QSettings file(path, QSettings::IniFormat);
    Settings *store = Settings::getInstance();
    WindowLayout layout;

    file.beginGroup(QStringLiteral("MainWindow"));
    layout.size = file.value(QStringLiteral("size"), QSize(DefaultWidth, DefaultHeight)).toSize();
    if (!layout.size.isValid())
        layout.size = QSize(DefaultWidth, DefaultHeight);
    layout.pos = file.value(QStringLiteral("pos"), QPoint(0, 0)).toPoint();
    layout.state = file.value(QStringLiteral("state"), QByteArray()).toByteArray();
    store->setWarningOnNoEmptyDirectoryDelete(
        file.value(QStringLiteral("warningonnoemptydirectorydelete"), true).toBool());
    file.endGroup();

    file.beginGroup(QStringLiteral("UserOptions"));
    file.beginGroup(QStringLiteral("Account"));
    store->setLogin(file.value(QStringLiteral("login"), QString()).toString());
    store->setPass(file.value(QStringLiteral("pass"), QString()).toString());
    file.endGroup();
    store->setDefaultDownloadDirectory(
        file.value(QStringLiteral("defaultdownloaddirectory"), QString()).toString());
    file.endGroup();

    file.beginGroup(QStringLiteral("Sync"));
    // A value that names no policy is taken as the manual one, the safest.
    const int sync = file.value(QStringLiteral("sync"), int(Settings::BackgroundSync)).toInt();
    store->setSyncType(sync == Settings::BackgroundSync || sync == Settings::TimerSync
                           ? Settings::SyncType(sync)
                           : Settings::ManualSync);
    QTime syncTime = file.value(QStringLiteral("synctime"), QTime(0, 0)).toTime();
    if (!syncTime.isValid())
        syncTime = QTime(0, 0);
    store->setSyncTime(syncTime);
    file.endGroup();

    file.beginGroup(QStringLiteral("Network"));
    store->setStreamsCount(file.value(QStringLiteral("streamscount"), 1).toInt());
    file.beginGroup(QStringLiteral("Server"));
    store->setServerHost(
        file.value(QStringLiteral("serverhost"), defaultServerHost()).toString());
    bool portOk = false;
    int port = file.value(QStringLiteral("serverport"), DefaultServerPort).toInt(&portOk);
    if (!portOk || port < 1 || port > 65535) {
        qCWarning(lcApp) << "unusable serverport in" << path << "- using" << DefaultServerPort;
        port = DefaultServerPort;
    }
    store->setServerPort(port);
    file.endGroup();
    file.endGroup();
    return layout;
}

bool SettingsFile::save(const WindowLayout &layout)
{
    error.clear();
    if (!prepareOwnerOnlyFile(path, error))
        return false;
    const Settings *store = Settings::getInstance();
    QSettings file(path, QSettings::IniFormat);

    file.beginGroup(QStringLiteral("MainWindow"));
    file.setValue(QStringLiteral("size"), layout.size);
    file.setValue(QStringLiteral("pos"), layout.pos);
    file.setValue(QStringLiteral("state"), layout.state);
    file.setValue(QStringLiteral("warningonnoemptydirectorydelete"),
                  store->getWarningOnNoEmptyDirectoryDelete() ? 1 : 0);
    file.endGroup();

    file.beginGroup(QStringLiteral("UserOptions"));
    file.setValue(QStringLiteral("defaultdownloaddirectory"),
                  store->getDefaultDownloadDirectory());
    file.beginGroup(QStringLiteral("Account"));
    file.setValue(QStringLiteral("login"), store->getLogin());
    file.setValue(QStringLiteral("pass"), store->getPass());
    file.endGroup();
    file.endGroup();

    file.beginGroup(QStringLiteral("Sync"));
    file.setValue(QStringLiteral("sync"), int(store->getSyncType()));
    file.setValue(QStringLiteral("synctime"), store->getSyncTime());
    file.endGroup();

    file.beginGroup(QStringLiteral("Network"));
    file.setValue(QStringLiteral("streamscount"), store->getStreamsCount());
    file.endGroup();

    file.sync();
    if (file.status() != QSettings::NoError) {
        error = QCoreApplication::translate("SettingsFile", "Cannot write the settings file %1.")
                    .arg(path);
        return false;
    }
    return true;
}
