#include "base/settings.h"
#include "base/settingsfile.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

unsigned modeOf(const QString &path)
{
    struct stat info {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return unsigned(info.st_mode & 07777);
}
} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void firstRunDefaults();
    void loadedValues_data();
    void loadedValues();
    void roundTrip();
    void savingLeavesTheServerGroupAlone();
    void fileIsReadableByItsOwnerOnly();
    void unwritableFileIsReported();

private:
    void scribbleOverStore();

    QTemporaryDir dir;
    QString path;
};

void TestSettingsFile::init()
{
    path = dir.filePath(QStringLiteral("Kelvarhold/PelorinClient-%1-%2.ini")
                            .arg(QTest::currentDataTag() ? QTest::currentDataTag() : "")
                            .arg(QTest::currentTestFunction()));
    QFile::remove(path);
    scribbleOverStore();
}

// Values a previous step left in the store must not pass for loaded ones.
void TestSettingsFile::scribbleOverStore()
{
    Settings *store = Settings::getInstance();
    store->setLogin(QStringLiteral("stale"));
    store->setPass(QStringLiteral("stale"));
    store->setSyncType(Settings::TimerSync);
    store->setSyncTime(QTime(7, 7));
    store->setStreamsCount(4);
    store->setServerHost(QStringLiteral("stale.example"));
    store->setServerPort(1);
    store->setWarningOnNoEmptyDirectoryDelete(false);
    store->setDefaultDownloadDirectory(QStringLiteral("/stale"));
}

void TestSettingsFile::firstRunDefaults()
{
    Settings *store = Settings::getInstance();
    QSignalSpy spy(store, &Settings::settingChange);
    const SettingsFile::WindowLayout layout = SettingsFile(path).load();

    QCOMPARE(layout.size, QSize(800, 500));
    QCOMPARE(layout.pos, QPoint(0, 0));
    QVERIFY(layout.state.isEmpty());
    QCOMPARE(store->getLogin(), QString());
    QCOMPARE(store->getPass(), QString());
    QCOMPARE(store->getDefaultDownloadDirectory(), QString());
    QCOMPARE(store->getSyncType(), Settings::BackgroundSync);
    QCOMPARE(store->getSyncTime(), QTime(0, 0));
    QCOMPARE(store->getStreamsCount(), 1);
    QCOMPARE(store->getServerHost(), QStringLiteral("127.0.0.1"));
    QCOMPARE(store->getServerPort(), 2939);
    QCOMPARE(store->getWarningOnNoEmptyDirectoryDelete(), true);
    QVERIFY(!QFile::exists(path)); // loading creates nothing

    // Every value is announced, in the order listeners rely on.
    const QList<Settings::SettingType> expected{
        Settings::WarningOnNoEmptyDirectoryDeleteSetting, Settings::LoginSetting,
        Settings::PasswordSetting, Settings::SyncSetting, Settings::SyncTimeSetting,
        Settings::StreamsCountSetting, Settings::ServerHostSetting,
        Settings::ServerPortSetting};
    QCOMPARE(spy.count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(spy.at(i).at(0).value<Settings::SettingType>(), expected.at(i));
}

void TestSettingsFile::loadedValues_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("streams");
    QTest::addColumn<int>("sync");
    QTest::addColumn<bool>("warning");
    QTest::addColumn<int>("port");

    QTest::newRow("streams 9 clamps to 5")
        << QByteArray("[Network]\nstreamscount=9\n") << 5 << 1 << true << 2939;
    QTest::newRow("streams 0 becomes 1")
        << QByteArray("[Network]\nstreamscount=0\n") << 1 << 1 << true << 2939;
    QTest::newRow("negative streams become 1")
        << QByteArray("[Network]\nstreamscount=-3\n") << 1 << 1 << true << 2939;
    QTest::newRow("streams 3 stay") << QByteArray("[Network]\nstreamscount=3\n") << 3 << 1
                                    << true << 2939;
    QTest::newRow("unreadable streams become 1")
        << QByteArray("[Network]\nstreamscount=many\n") << 1 << 1 << true << 2939;
    QTest::newRow("warning stored as 0")
        << QByteArray("[MainWindow]\nwarningonnoemptydirectorydelete=0\n") << 1 << 1 << false
        << 2939;
    QTest::newRow("timed policy") << QByteArray("[Sync]\nsync=2\n") << 1 << 2 << true << 2939;
    QTest::newRow("unknown policy is manual") << QByteArray("[Sync]\nsync=7\n") << 1 << 0
                                              << true << 2939;
    QTest::newRow("hand-edited port") << QByteArray("[Network]\n[Network/Server]\nserverport=4000\n")
                                      << 1 << 1 << true << 4000;
    QTest::newRow("port out of range")
        << QByteArray("[Network/Server]\nserverport=70000\n") << 1 << 1 << true << 2939;
    QTest::newRow("port not a number")
        << QByteArray("[Network/Server]\nserverport=http\n") << 1 << 1 << true << 2939;
    // Beyond 32 bits: not cut down to 1.
    QTest::newRow("port 2^32 + 1")
        << QByteArray("[Network/Server]\nserverport=4294967297\n") << 1 << 1 << true << 2939;
    QTest::newRow("policy 2^32 + 1 is manual") << QByteArray("[Sync]\nsync=4294967297\n") << 1 << 0
                                               << true << 2939;
    QTest::newRow("streams 2^32 + 1 clamp to 5")
        << QByteArray("[Network]\nstreamscount=4294967297\n") << 5 << 1 << true << 2939;
}

void TestSettingsFile::loadedValues()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, streams);
    QFETCH(int, sync);
    QFETCH(bool, warning);
    QFETCH(int, port);
    QDir().mkpath(QFileInfo(path).absolutePath());
    writeFile(path, ini);
    if (ini.contains("serverport") && port == SettingsFile::DefaultServerPort)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unusable serverport"));
    SettingsFile(path).load();
    const Settings *store = Settings::getInstance();
    QCOMPARE(store->getStreamsCount(), streams);
    QCOMPARE(int(store->getSyncType()), sync);
    QCOMPARE(store->getWarningOnNoEmptyDirectoryDelete(), warning);
    QCOMPARE(store->getServerPort(), port);
}

void TestSettingsFile::roundTrip()
{
    Settings *store = Settings::getInstance();
    store->setLogin(QStringLiteral("Jos\u00e9"));
    store->setPass(QStringLiteral("p=w;d \"q\" #1"));
    store->setDefaultDownloadDirectory(QStringLiteral("/home/jose/Downloads"));
    store->setSyncType(Settings::TimerSync);
    store->setSyncTime(QTime(14, 30));
    store->setStreamsCount(3);
    store->setWarningOnNoEmptyDirectoryDelete(false);
    const QByteArray state("\x00\xff\n\r[x]=", 8);
    SettingsFile file(path);
    QVERIFY2(file.save({QSize(1024, 640), QPoint(-20, 35), state}), qPrintable(file.errorString()));

    const QByteArray text = readFile(path);
    QVERIFY(text.contains("warningonnoemptydirectorydelete=0\n"));
    QVERIFY(text.contains("streamscount=3\n"));
    QVERIFY(text.contains("sync=2\n"));

    scribbleOverStore();
    const SettingsFile::WindowLayout layout = SettingsFile(path).load();
    QCOMPARE(layout.size, QSize(1024, 640));
    QCOMPARE(layout.pos, QPoint(-20, 35));
    QCOMPARE(layout.state, state);
    QCOMPARE(store->getLogin(), QStringLiteral("Jos\u00e9"));
    QCOMPARE(store->getPass(), QStringLiteral("p=w;d \"q\" #1"));
    QCOMPARE(store->getDefaultDownloadDirectory(), QStringLiteral("/home/jose/Downloads"));
    QCOMPARE(store->getSyncType(), Settings::TimerSync);
    QCOMPARE(store->getSyncTime(), QTime(14, 30));
    QCOMPARE(store->getStreamsCount(), 3);
    QCOMPARE(store->getWarningOnNoEmptyDirectoryDelete(), false);

    // The flag comes back as the integer 1 too.
    store->setWarningOnNoEmptyDirectoryDelete(true);
    QVERIFY(file.save(layout));
    QVERIFY(readFile(path).contains("warningonnoemptydirectorydelete=1\n"));
}

void TestSettingsFile::savingLeavesTheServerGroupAlone()
{
    // Without a server group, saving writes none.
    SettingsFile fresh(path);
    fresh.load();
    QVERIFY(fresh.save({QSize(800, 500), QPoint(0, 0), {}}));
    QVERIFY(!readFile(path).contains("serverhost"));
    QVERIFY(!readFile(path).contains("serverport"));

    // A hand-edited group survives, whatever the store holds at close.
    writeFile(path, "[Network]\nstreamscount=2\n\n[Network/Server]\nserverhost=files.example.org\n"
                    "serverport=4000\n");
    SettingsFile edited(path);
    edited.load();
    QCOMPARE(Settings::getInstance()->getServerHost(), QStringLiteral("files.example.org"));
    Settings::getInstance()->setServerHost(QStringLiteral("elsewhere"));
    Settings::getInstance()->setServerPort(1);
    Settings::getInstance()->setStreamsCount(4);
    QVERIFY(edited.save({QSize(800, 500), QPoint(0, 0), {}}));
    const QByteArray text = readFile(path);
    QVERIFY2(text.contains("\nstreamscount=4\n"), text.constData());
    QVERIFY2(text.contains("\nServer\\serverhost=files.example.org\nServer\\serverport=4000\n"),
             text.constData());
    SettingsFile(path).load();
    QCOMPARE(Settings::getInstance()->getServerHost(), QStringLiteral("files.example.org"));
    QCOMPARE(Settings::getInstance()->getServerPort(), 4000);
}

void TestSettingsFile::fileIsReadableByItsOwnerOnly()
{
    const mode_t previous = umask(0);
    SettingsFile file(path);
    Settings::getInstance()->setPass(QStringLiteral("secret"));
    const bool saved = file.save({QSize(800, 500), QPoint(0, 0), {}});
    umask(previous);
    QVERIFY(saved);
    QCOMPARE(modeOf(path), 0600u);

    // A file that others could read is tightened when saved.
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                            | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QVERIFY(file.save({QSize(800, 500), QPoint(0, 0), {}}));
    QCOMPARE(modeOf(path), 0600u);
    QVERIFY(readFile(path).contains("pass=secret"));
}

void TestSettingsFile::unwritableFileIsReported()
{
    // A regular file where the folder should be.
    const QString blocker = dir.filePath(QStringLiteral("not-a-folder"));
    writeFile(blocker, "x");
    SettingsFile file(blocker + QStringLiteral("/PelorinClient.ini"));
    QVERIFY(!file.save({QSize(800, 500), QPoint(0, 0), {}}));
    QVERIFY(!file.errorString().isEmpty());
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
