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
// A whole number as the file holds it, read as text and range-checked by the caller:
// QVariant's own conversion to int cuts 4294967297 down to 1.
qlonglong wholeNumber(const QVariant &value, bool *ok)
{
    return value.toString().trimmed().toLongLong(ok);
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
    bool syncOk = false;
    const qlonglong sync = wholeNumber(file.value(QStringLiteral("sync"), int(Settings::BackgroundSync)), &syncOk);
    store->setSyncType(syncOk && (sync == Settings::BackgroundSync || sync == Settings::TimerSync)
                           ? Settings::SyncType(sync)
                           : Settings::ManualSync);
    QTime syncTime = file.value(QStringLiteral("synctime"), QTime(0, 0)).toTime();
    if (!syncTime.isValid())
        syncTime = QTime(0, 0);
    store->setSyncTime(syncTime);
    file.endGroup();

    file.beginGroup(QStringLiteral("Network"));
    bool streamsOk = false;
    const qlonglong streams = wholeNumber(file.value(QStringLiteral("streamscount"), 1), &streamsOk);
    // The store clamps into its range; a number beyond int is at least as far out.
    store->setStreamsCount(streamsOk ? int(qBound(qlonglong(0), streams, qlonglong(Settings::MaxStreamsCount + 1))) : 1);
    file.beginGroup(QStringLiteral("Server"));
    store->setServerHost(
        file.value(QStringLiteral("serverhost"), defaultServerHost()).toString());
    bool portOk = false;
    const qlonglong port = wholeNumber(file.value(QStringLiteral("serverport"), DefaultServerPort), &portOk);
    if (!portOk || port < 1 || port > 65535) {
        qCWarning(lcApp) << "unusable serverport in" << path << "- using" << DefaultServerPort;
        store->setServerPort(DefaultServerPort);
    } else {
        store->setServerPort(int(port));
    }
    file.endGroup();
    file.endGroup();
    return layout;
}

bool SettingsFile::saveServer(const QString &host, int port)
{
    error.clear();
    if (!prepareOwnerOnlyFile(path, error))
        return false;
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Network"));
    file.beginGroup(QStringLiteral("Server"));
    file.setValue(QStringLiteral("serverhost"), host);
    file.setValue(QStringLiteral("serverport"), port);
    file.endGroup();
    file.endGroup();
    return finishWriting(file);
}

bool SettingsFile::finishWriting(QSettings &file)
{
    file.sync();
    if (file.status() != QSettings::NoError) {
        error = QCoreApplication::translate("SettingsFile", "Cannot write the settings file %1.")
                    .arg(path);
        return false;
    }
    return true;
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
    return finishWriting(file);
}
