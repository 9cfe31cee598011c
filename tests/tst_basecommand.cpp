#include "commandrunner.h"
#include "network/basecommand.h"

#include <QTest>

namespace {

struct Report {
    BaseCommand::CommandResult result;
    QString reason;
};

// A command whose execute() makes the given reports and nothing else.
class ReportingCommand final : public BaseCommand
{
public:
    explicit ReportingCommand(QList<Report> reports)
        : BaseCommand(1, CreateDirectoryCommand, Exclusive), reports(std::move(reports))
    {
    }
    QString getCommandTypeString() const override { return QStringLiteral("Reporting"); }
    void execute() override
    {
        Q_EMIT started(commandId);
        for (const Report &each : std::as_const(reports))
            report(each.result, each.reason);
    }

protected:
    QString getCommandName() const override { return QStringLiteral("reporting"); }

private:
    const QList<Report> reports;
};

} // namespace

Q_DECLARE_METATYPE(QList<Report>)

class TestBaseCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oneReportPerCommand_data();
    void oneReportPerCommand();
};

void TestBaseCommand::oneReportPerCommand_data()
{
    QTest::addColumn<QList<Report>>("reports");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<QString>("reason");

    const QString first = QStringLiteral("the connection to host:1 was refused");
    const QString second = QStringLiteral("the server answered with code 3");
    QTest::newRow("none: the run reports a failure")
        << QList<Report>{} << BaseCommand::UnknownError << QString();
    QTest::newRow("one success") << QList<Report>{{BaseCommand::NoError, {}}}
                                 << BaseCommand::NoError << QString();
    QTest::newRow("one failure with its reason")
        << QList<Report>{{BaseCommand::ConnectionError, first}} << BaseCommand::ConnectionError
        << first;
    QTest::newRow("a failure after a success is ignored")
        << QList<Report>{{BaseCommand::NoError, {}}, {BaseCommand::ConnectionError, first}}
        << BaseCommand::NoError << QString();
    QTest::newRow("a second failure changes neither result nor reason")
        << QList<Report>{{BaseCommand::ConnectionError, first},
                         {BaseCommand::IncorrectCommandError, second}}
        << BaseCommand::ConnectionError << first;
}

void TestBaseCommand::oneReportPerCommand()
{
    QFETCH(QList<Report>, reports);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(QString, reason);

    CommandRunner runner(new ReportingCommand(reports));
    QVERIFY(runner.run());
    QCOMPARE(runner.startedCount(), 1);
    QCOMPARE(runner.finishedResults(), QList{result});
    QCOMPARE(runner.command()->getFailureReason(), reason);
}

QTEST_GUILESS_MAIN(TestBaseCommand)
#include "tst_basecommand.moc"
