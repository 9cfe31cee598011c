#include "base/settings.h"

#include <QSignalSpy>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void streamsCountIsClamped_data();
    void streamsCountIsClamped();
    void everySetterAnnouncesItself();
    void downloadPathsAreASet();
};

void TestSettings::streamsCountIsClamped_data()
{
    QTest::addColumn<int>("given");
    QTest::addColumn<int>("stored");
    QTest::newRow("in range") << 3 << 3;
    QTest::newRow("above") << 9 << 5;
    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("negative") << -4 << 1;
    QTest::newRow("bounds") << 5 << 5;
}

void TestSettings::streamsCountIsClamped()
{
    QFETCH(int, given);
    QFETCH(int, stored);
    Settings::getInstance()->setStreamsCount(given);
    QCOMPARE(Settings::getInstance()->getStreamsCount(), stored);
}

void TestSettings::everySetterAnnouncesItself()
{
    Settings *s = Settings::getInstance();
    QSignalSpy spy(s, &Settings::settingChange);
    s->setLogin(QStringLiteral("alice"));
    s->setLogin(QStringLiteral("alice")); // unchanged, still announced
    s->setPass(QStringLiteral("pw"));
    s->setSyncType(Settings::TimerSync);
    s->setSyncTime(QTime(3, 4));
    s->setStreamsCount(2);
    s->setServerHost(QStringLiteral("localhost"));
    s->setServerPort(1234);
    s->setWarningOnNoEmptyDirectoryDelete(true);
    s->setDefaultDownloadDirectory(QStringLiteral("/tmp")); // announces nothing

    const QList<Settings::SettingType> expected{
        Settings::LoginSetting, Settings::LoginSetting, Settings::PasswordSetting,
        Settings::SyncSetting, Settings::SyncTimeSetting, Settings::StreamsCountSetting,
        Settings::ServerHostSetting, Settings::ServerPortSetting,
        Settings::WarningOnNoEmptyDirectoryDeleteSetting};
    QCOMPARE(spy.count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(spy.at(i).at(0).value<Settings::SettingType>(), expected.at(i));
    QCOMPARE(s->getDefaultDownloadDirectory(), QStringLiteral("/tmp"));
    QCOMPARE(s->getSyncTime(), QTime(3, 4));
}

void TestSettings::downloadPathsAreASet()
{
    Settings *s = Settings::getInstance();
    const QString path = QStringLiteral("/home/u/Downloads/a.bin");
    QVERIFY(!s->isPathDownloadable(path));
    s->addDownloadPath(path);
    s->addDownloadPath(path);
    QVERIFY(s->isPathDownloadable(path));
    QVERIFY(!s->isPathDownloadable(path.toUpper()));
    s->removeDownloadPath(path);
    QVERIFY(!s->isPathDownloadable(path));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
