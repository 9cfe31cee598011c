#include "dialogs/progressframe.h"
#include "dialogs/transferinfodialog.h"

#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QTest>

// The transfer window's rows: newest on top, finished rows kept with their final
// state until the next start removes the one that finished first.
class TestTransferInfoDialog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void form();
    void rowLifecycle();
    void reportsForUnknownIdsAreIgnored();
    void queueNeverStallsOnRowsAlreadyGone();
    void secondStartOfAnIdReplacesItsRow();
    void longMessagesAreNotCutOff();
};

struct Row
{
    QString message;
    QString time;
    QString speed;
    int progress;
};

// The rows from top to bottom.
static QList<Row> rows(const TransferInfoDialog &dialog)
{
    QList<Row> result;
    auto *layout = dialog.findChild<QVBoxLayout *>("verticalLayout");
    for (int i = 0; i < layout->count(); ++i) {
        auto *frame = qobject_cast<ProgressFrame *>(layout->itemAt(i)->widget());
        if (!frame)
            continue;
        result.append({frame->findChild<QLabel *>("messageLabel")->text(),
                       frame->findChild<QLabel *>("timeLabel")->text(),
                       frame->findChild<QLabel *>("speedLabel")->text(),
                       frame->findChild<QProgressBar *>("progressBar")->value()});
    }
    // Every row in the layout and only those are alive as frames of the window.
    if (dialog.findChildren<ProgressFrame *>().size() != result.size())
        result.append({QStringLiteral("<orphaned frame>"), {}, {}, -1});
    return result;
}

static QStringList messages(const TransferInfoDialog &dialog)
{
    QStringList result;
    for (const Row &row : rows(dialog))
        result.append(row.message);
    return result;
}

void TestTransferInfoDialog::form()
{
    TransferInfoDialog dialog;
    QCOMPARE(dialog.objectName(), QString("TransferInfoDialog"));
    QCOMPARE(dialog.windowTitle(), QString("Files Transfer Info"));
    QCOMPARE(dialog.size(), QSize(416, 64));
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.findChild<QVBoxLayout *>("verticalLayout")->sizeConstraint(), QLayout::SetMaximumSize);

    ProgressFrame frame;
    QCOMPARE(frame.objectName(), QString("ProgressFrame"));
    QCOMPARE(frame.frameShape(), QFrame::NoFrame);
    QCOMPARE(frame.minimumSize(), QSize(390, 62));
    QCOMPARE(frame.maximumSize(), QSize(900, 63));
    auto *bar = frame.findChild<QProgressBar *>("progressBar");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
}

void TestTransferInfoDialog::rowLifecycle()
{
    TransferInfoDialog dialog;
    dialog.createProgress(1, 0, "one started.");
    dialog.createProgress(2, 5, "two started.");
    dialog.createProgress(3, 0, "three started.");
    QCOMPARE(messages(dialog), (QStringList{"three started.", "two started.", "one started."}));
    QCOMPARE(rows(dialog).at(1).progress, 5);

    dialog.setProgressValue(2, 40, "two in process.", "Time estimated: 07s", " 12.50Kb/s");
    const Row live = rows(dialog).at(1);
    QCOMPARE(live.message, QString("two in process."));
    QCOMPARE(live.time, QString("Time estimated: 07s"));
    QCOMPARE(live.speed, QString(" 12.50Kb/s"));
    QCOMPARE(live.progress, 40);

    // Three finish, none starts: all rows stay with their final state.
    dialog.deleteProgress(2, 100, "two finished.");
    dialog.deleteProgress(1, 100, "one finished.");
    dialog.deleteProgress(3, 70, "three finished: <b>failed</b>");
    QCOMPARE(messages(dialog),
             (QStringList{"three finished: <b>failed</b>", "two finished.", "one finished."}));
    const Row finished = rows(dialog).at(1);
    QCOMPARE(finished.time, QString());
    QCOMPARE(finished.speed, QString());
    QCOMPARE(rows(dialog).at(0).progress, 70);

    // Each start removes the row that finished first and goes on top.
    dialog.createProgress(4, 0, "four started.");
    QCOMPARE(messages(dialog),
             (QStringList{"four started.", "three finished: <b>failed</b>", "one finished."}));
    dialog.createProgress(5, 0, "five started.");
    QCOMPARE(messages(dialog), (QStringList{"five started.", "four started.", "three finished: <b>failed</b>"}));
    dialog.createProgress(6, 0, "six started.");
    QCOMPARE(messages(dialog), (QStringList{"six started.", "five started.", "four started."}));
    // No finished row left: a start removes nothing.
    dialog.createProgress(7, 0, "seven started.");
    QCOMPARE(messages(dialog).size(), 4);
}

void TestTransferInfoDialog::reportsForUnknownIdsAreIgnored()
{
    TransferInfoDialog dialog;
    dialog.createProgress(1, 0, "one started.");
    dialog.setProgressValue(9, 50, "nine", "t", "s");
    dialog.deleteProgress(9, 100, "nine finished.");
    QCOMPARE(messages(dialog), QStringList{"one started."});
    // The unknown id was not queued, so the next start removes nothing.
    dialog.createProgress(2, 0, "two started.");
    QCOMPARE(messages(dialog), (QStringList{"two started.", "one started."}));
}

void TestTransferInfoDialog::queueNeverStallsOnRowsAlreadyGone()
{
    TransferInfoDialog dialog;
    dialog.createProgress(1, 0, "one started.");
    dialog.createProgress(2, 0, "two started.");
    // A repeated finish report must not leave an entry behind whose row is gone,
    // which would stop every later removal.
    dialog.deleteProgress(1, 100, "one finished.");
    dialog.deleteProgress(1, 100, "one finished.");
    dialog.deleteProgress(2, 100, "two finished.");
    dialog.createProgress(3, 0, "three started.");
    QCOMPARE(messages(dialog), (QStringList{"three started.", "two finished."}));
    dialog.createProgress(4, 0, "four started.");
    QCOMPARE(messages(dialog), (QStringList{"four started.", "three started."}));
}

void TestTransferInfoDialog::secondStartOfAnIdReplacesItsRow()
{
    TransferInfoDialog dialog;
    dialog.createProgress(1, 0, "one started.");
    dialog.deleteProgress(1, 100, "one finished.");
    dialog.createProgress(2, 0, "two started.");
    dialog.createProgress(2, 0, "two started again.");
    QCOMPARE(messages(dialog), QStringList{"two started again."});
    dialog.deleteProgress(2, 100, "two finished.");
    dialog.createProgress(3, 0, "three started.");
    QCOMPARE(messages(dialog), QStringList{"three started."});
}

void TestTransferInfoDialog::longMessagesAreNotCutOff()
{
    TransferInfoDialog dialog;
    dialog.show();
    dialog.createProgress(1, 0, "Upload file <b>holiday.jpg</b> started.");
    dialog.setProgressValue(1, 42, "Upload file <b>holiday.jpg</b> in process.", "Time estimated: 01m 05s",
                            " 312.50Kb/s");
    dialog.createProgress(2, 0, "Delete file <b>old.txt</b> started.");
    dialog.deleteProgress(2, 0, "Delete file <b>old.txt</b> finished.: "
                                "<b><font color=\"Red\">Data synchronization error.</font></b>");
    for (const char *name : {"messageLabel", "timeLabel", "speedLabel"}) {
        for (auto *label : dialog.findChildren<QLabel *>(name))
            QTRY_VERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
    }
}

QTEST_MAIN(TestTransferInfoDialog)
#include "tst_transferinfodialog.moc"
