#include "wire/protocoltextcheck.h"

#include <QTest>

// Input that the control protocol cannot carry as typed is caught before sending.
class TestProtocolTextCheck final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void problem_data();
    void problem();
};

void TestProtocolTextCheck::problem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    // Empty: accepted. Otherwise a piece the message must contain.
    QTest::addColumn<QString>("expected");

    const int plain = ProtocolTextCheck::PlainField;
    const int encoded = ProtocolTextCheck::EncodedField;
    QTest::newRow("empty") << "" << plain << "";
    QTest::newRow("latin-1 accents and symbols") << QString::fromUtf8("Café ½ £ ÿ.txt") << plain << "";
    QTest::newRow("tab") << "a\tb" << plain << "tab";
    QTest::newRow("line feed") << "a\nb" << plain << "line break";
    QTest::newRow("carriage return") << "a\rb" << plain << "line break";
    QTest::newRow("tab and line feed in a description") << "a\tb\nc" << encoded << "";
    QTest::newRow("euro sign") << QString::fromUtf8("5€ price") << plain << QString::fromUtf8("€");
    QTest::newRow("outside latin-1 in a description") << QString::fromUtf8("Ωmega\nline") << encoded
                                                        << QString::fromUtf8("Ω");
    // A character beyond the basic plane is named whole, once.
    QTest::newRow("emoji twice") << QString::fromUtf8("😀 and 😀") << plain << QString::fromUtf8(": 😀\n");
    QTest::newRow("several, each once") << QString::fromUtf8("日本日本") << plain << QString::fromUtf8(": 日 本\n");
}

void TestProtocolTextCheck::problem()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, expected);

    const QString message =
        ProtocolTextCheck::problem(text, QStringLiteral("name"), ProtocolTextCheck::FieldKind(kind));
    if (expected.isEmpty()) {
        QCOMPARE(message, QString());
        return;
    }
    QVERIFY2(message.contains(expected), qPrintable(message));
    QVERIFY(message.contains(QLatin1String("The name ")));
}

QTEST_APPLESS_MAIN(TestProtocolTextCheck)
#include "tst_protocoltextcheck.moc"
