#pragma once

#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTime>

// The process-wide configuration: account, synchronisation policy, streams, server
// address, default download folder, the delete-confirmation flag and the in-memory
// set of local paths with a download pending. Read from every thread; one mutex
// guards every get and set so no reader sees a half-written string or set.
class Settings final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Settings)

public:
    enum SettingType {
        LoginSetting = 0,
        PasswordSetting = 1,
        SyncSetting = 2,
        SyncTimeSetting = 3,
        StreamsCountSetting = 4,
        ServerHostSetting = 5,
        ServerPortSetting = 6,
        WarningOnNoEmptyDirectoryDeleteSetting = 7
    };
    Q_ENUM(SettingType)

    enum SyncType { ManualSync = 0, BackgroundSync = 1, TimerSync = 2 };
    Q_ENUM(SyncType)

    static constexpr int MaxStreamsCount = 5;

    static Settings *getInstance();

    QString getLogin() const;
    QString getPass() const;
    QString getDefaultDownloadDirectory() const;
    SyncType getSyncType() const;
    QTime getSyncTime() const;
    int getStreamsCount() const;
    QString getServerHost() const;
    int getServerPort() const;
    bool getWarningOnNoEmptyDirectoryDelete() const;

    void setLogin(const QString &value);
    void setPass(const QString &value);
    void setDefaultDownloadDirectory(const QString &value);
    void setSyncType(SyncType value);
    void setSyncTime(const QTime &value);
    // Clamped into 1..MaxStreamsCount.
    void setStreamsCount(int value);
    void setServerHost(const QString &value);
    void setServerPort(int value);
    void setWarningOnNoEmptyDirectoryDelete(bool value);

    void addDownloadPath(const QString &path);
    void removeDownloadPath(const QString &path);
    bool isPathDownloadable(const QString &path) const;

Q_SIGNALS:
    void settingChange(Settings::SettingType type);

private:
    Settings() = default;

    mutable QMutex mutex;
    QString login;
    QString pass;
    QString defaultDownloadDirectory;
    SyncType syncType = ManualSync;
    QTime syncTime;
    int streamsCount = 0;
    QString serverHost;
    int serverPort = 0;
    QSet<QString> downloadPaths;
    bool warningOnNoEmptyDirectoryDelete = false;
};
