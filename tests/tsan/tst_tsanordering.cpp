// Built only with -DPELORIN_TSAN=ON. What qtordering.cpp tells the sanitizer must
// silence the hand-overs that Qt orders and nothing more: each scenario runs in a
// process of its own, and a race in it must still be reported.

#include <QProcess>
#include <QTest>

class TestTsanOrdering final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scenario_data();
    void scenario();
};

void TestTsanOrdering::scenario_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("reported");
    QTest::newRow("queued signal") << "queued signal" << false;
    QTest::newRow("write after the signal") << "write after the signal" << true;
    QTest::newRow("blocking call") << "blocking call" << false;
    QTest::newRow("thread end") << "thread end" << false;
    QTest::newRow("recursive mutex") << "recursive mutex" << false;
    QTest::newRow("no mutex") << "no mutex" << true;
}

void TestTsanOrdering::scenario()
{
    QFETCH(QString, name);
    QFETCH(bool, reported);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TSAN_OPTIONS"),
                       QStringLiteral("suppressions=" PELORIN_TSAN_SUPPRESSIONS " halt_on_error=0"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PELORIN_TSAN_SCENARIOS), {name});
    QVERIFY(process.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(errors.contains(QLatin1String("ThreadSanitizer: data race")), reported);
    // The sanitizer's exit status for a run with reports.
    QCOMPARE(process.exitCode(), reported ? 66 : 0);
}

QTEST_GUILESS_MAIN(TestTsanOrdering)
#include "tst_tsanordering.moc"
