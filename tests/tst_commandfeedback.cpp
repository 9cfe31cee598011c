#include "gui/commandfeedback.h"

#include <QtTest>

class TestCommandFeedback final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timeText_data();
    void timeText();
    void speedText_data();
    void speedText();
    void errorTexts_data();
    void errorTexts();
    void message_data();
    void message();
};

void TestCommandFeedback::timeText_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0 << "Time estimated: 00s";
    QTest::newRow("seven") << 7 << "Time estimated: 07s";
    QTest::newRow("59") << 59 << "Time estimated: 59s";
    QTest::newRow("60") << 60 << "Time estimated: 01m 00s";
    QTest::newRow("65") << 65 << "Time estimated: 01m 05s";
    QTest::newRow("3599") << 3599 << "Time estimated: 59m 59s";
    QTest::newRow("3600") << 3600 << "Time estimated: 01h 00m 00s";
    QTest::newRow("3725") << 3725 << "Time estimated: 01h 02m 05s";
    QTest::newRow("100 hours") << 360000 << "Time estimated: 100h 00m 00s";
    QTest::newRow("minus one") << -1 << "Time estimated: -1s";
    QTest::newRow("minus 61") << -61 << "Time estimated: -1m -1s";
}

void TestCommandFeedback::timeText()
{
    QFETCH(int, seconds);
    QFETCH(QString, expected);
    QCOMPARE(CommandFeedback::getTimeText(seconds), expected);
}

void TestCommandFeedback::speedText_data()
{
    QTest::addColumn<double>("speed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << " 0.00Kb/s";
    QTest::newRow("12.5") << 12.5 << " 12.50Kb/s";
    QTest::newRow("rounded") << 1234.567 << " 1234.57Kb/s";
    QTest::newRow("idle transfer") << 0.0001 << " 0.00Kb/s";
}

void TestCommandFeedback::speedText()
{
    QFETCH(double, speed);
    QFETCH(QString, expected);
    QCOMPARE(CommandFeedback::getSpeedText(speed), expected);
}

void TestCommandFeedback::errorTexts_data()
{
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString sync = QStringLiteral(
        "Click Refresh button and retry your actions. If it will not help, please write to ")
        + QLatin1String(CommandFeedback::SupportAddress) + QLatin1Char('.');
    QTest::newRow("none") << BaseCommand::NoError << QString() << QString() << QString();
    QTest::newRow("login") << BaseCommand::IncorrectLoginError << "Incorrect Login"
                           << "Incorrect Login" << "Please, check your login in Options and retry.";
    QTest::newRow("password") << BaseCommand::IncorrectPasswordError << "Incorrect Password"
                              << "Incorrect Password"
                              << "Please, check your password in Options and retry.";
    QTest::newRow("command") << BaseCommand::IncorrectCommandError << "Old Client Used"
                             << "Old Client Used" << "Please, download new version of this client.";
    for (BaseCommand::CommandResult result :
         {BaseCommand::ConnectionError, BaseCommand::InitialConnectionError,
          BaseCommand::ReceivedDataFormatError, BaseCommand::InitialDataFormatError,
          BaseCommand::UnknownError}) {
        QTest::newRow(QMetaEnum::fromType<BaseCommand::CommandResult>().valueToKey(result))
            << result << "Data synchronization error." << "Data synchronization error" << sync;
    }
}

void TestCommandFeedback::errorTexts()
{
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(QString, status);
    QFETCH(QString, title);
    QFETCH(QString, text);
    const CommandFeedback::ErrorTexts texts = CommandFeedback::getErrorTexts(result);
    QCOMPARE(texts.status, status);
    QCOMPARE(texts.title, title);
    QCOMPARE(texts.text, text);
}

void TestCommandFeedback::message_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<BaseCommand::CommandResult>("result");
    QTest::addColumn<QString>("expected");
    QTest::newRow("started") << int(CommandInfo::Started) << BaseCommand::NoError
                             << "Refresh list started.";
    QTest::newRow("processing") << int(CommandInfo::Processing) << BaseCommand::NoError
                                << "Refresh list in process.";
    QTest::newRow("finished") << int(CommandInfo::Finished) << BaseCommand::NoError
                              << "Refresh list finished.";
    QTest::newRow("failed") << int(CommandInfo::Finished) << BaseCommand::IncorrectPasswordError
                            << "Refresh list finished.: <b><font color=\"Red\">Incorrect "
                               "Password</font></b>";
    QTest::newRow("unknown") << int(CommandInfo::Finished) << BaseCommand::UnknownError
                             << "Refresh list finished.: <b><font color=\"Red\">Data "
                                "synchronization error.</font></b>";
}

void TestCommandFeedback::message()
{
    QFETCH(int, state);
    QFETCH(BaseCommand::CommandResult, result);
    QFETCH(QString, expected);
    const CommandInfo info(7, CommandInfo::CommandState(state), QStringLiteral("Refresh list"),
                           result, 0, 0, 0.0);
    QCOMPARE(CommandFeedback::getMessage(info), expected);
}

QTEST_GUILESS_MAIN(TestCommandFeedback)
#include "tst_commandfeedback.moc"
