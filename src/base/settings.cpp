#include "settings.h"

#include <QMutexLocker>

Settings *Settings::getInstance()
{
    static Settings instance;
    return &instance;
}

QString Settings::getLogin() const { QMutexLocker lock(&mutex); return login; }
QString Settings::getPass() const { QMutexLocker lock(&mutex); return pass; }
QString Settings::getDefaultDownloadDirectory() const { QMutexLocker lock(&mutex); return defaultDownloadDirectory; }
Settings::SyncType Settings::getSyncType() const { QMutexLocker lock(&mutex); return syncType; }
QTime Settings::getSyncTime() const { QMutexLocker lock(&mutex); return syncTime; }
int Settings::getStreamsCount() const { QMutexLocker lock(&mutex); return streamsCount; }
QString Settings::getServerHost() const { QMutexLocker lock(&mutex); return serverHost; }
int Settings::getServerPort() const { QMutexLocker lock(&mutex); return serverPort; }
bool Settings::getWarningOnNoEmptyDirectoryDelete() const { QMutexLocker lock(&mutex); return warningOnNoEmptyDirectoryDelete; }

// Every setter announces its type on every call, changed or not: the receivers
// (main window, scheduler) rely on loading re-announcing each value.
void Settings::setLogin(const QString &value)
{
    { QMutexLocker lock(&mutex); login = value; }
    Q_EMIT settingChange(LoginSetting);
}

void Settings::setPass(const QString &value)
{
    { QMutexLocker lock(&mutex); pass = value; }
    Q_EMIT settingChange(PasswordSetting);
}

void Settings::setDefaultDownloadDirectory(const QString &value)
{
    QMutexLocker lock(&mutex);
    defaultDownloadDirectory = value;
}

void Settings::setSyncType(SyncType value)
{
    { QMutexLocker lock(&mutex); syncType = value; }
    Q_EMIT settingChange(SyncSetting);
}

void Settings::setSyncTime(const QTime &value)
{
    { QMutexLocker lock(&mutex); syncTime = value; }
    Q_EMIT settingChange(SyncTimeSetting);
}

void Settings::setStreamsCount(int value)
{
    if (value > MaxStreamsCount)
        value = MaxStreamsCount;
    if (value <= 0)
        value = 1;
    { QMutexLocker lock(&mutex); streamsCount = value; }
    Q_EMIT settingChange(StreamsCountSetting);
}

void Settings::setServerHost(const QString &value)
{
    { QMutexLocker lock(&mutex); serverHost = value; }
    Q_EMIT settingChange(ServerHostSetting);
}

void Settings::setServerPort(int value)
{
    { QMutexLocker lock(&mutex); serverPort = value; }
    Q_EMIT settingChange(ServerPortSetting);
}

void Settings::setWarningOnNoEmptyDirectoryDelete(bool value)
{
    { QMutexLocker lock(&mutex); warningOnNoEmptyDirectoryDelete = value; }
    Q_EMIT settingChange(WarningOnNoEmptyDirectoryDeleteSetting);
}

void Settings::addDownloadPath(const QString &path)
{
    QMutexLocker lock(&mutex);
    downloadPaths.insert(path);
}

void Settings::removeDownloadPath(const QString &path)
{
    QMutexLocker lock(&mutex);
    downloadPaths.remove(path);
}

bool Settings::isPathDownloadable(const QString &path) const
{
    QMutexLocker lock(&mutex);
    return downloadPaths.contains(path);
}
