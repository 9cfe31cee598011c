#include "base/settings.h"
#include "localtree/localfilestreemodel.h"
#include "localtree/localtreewidget.h"
#include "modalanswers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDirIterator>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

class TestLocalTreeWidget final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void urlDownloadStaysInFolder_data();
    void urlDownloadStaysInFolder();
    void contextMenuOnlyForFolders_data();
    void contextMenuOnlyForFolders();
    void setAsDefault();
    void dropsFromElsewhereAreIgnored();
};

void TestLocalTreeWidget::urlDownloadStaysInFolder_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("created");
    QTest::newRow("plain") << "http://h/dir/file.bin?x=1" << "file.bin";
    QTest::newRow("dot dot") << "http://h/%2E%2E" << "";
    QTest::newRow("dot") << "http://h/." << "";
    QTest::newRow("slash") << "http://h/..%2Fescape.bin" << "";
    QTest::newRow("backslash") << "http://h/..%5Cescape.bin" << "";
    QTest::newRow("nul") << "http://h/a%00b" << "";
    QTest::newRow("empty") << "http://h/dir/?id=5" << "";
}

void TestLocalTreeWidget::urlDownloadStaysInFolder()
{
    QFETCH(QString, url);
    QFETCH(QString, created);
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("parent/dl"));
    QVERIFY(QDir().mkpath(folder));
    LocalTreeWidget view;
    QSignalSpy spy(view.getLocalModel(), &LocalFilesTreeModel::downloadUrl);
    QString told;
    ModalAnswers answers(created.isEmpty()
                             ? QList<ModalAnswers::Answer>{[&told](QWidget *window) {
                                   auto *box = qobject_cast<QMessageBox *>(window);
                                   QVERIFY(box);
                                   told = box->text();
                                   box->button(QMessageBox::Ok)->click();
                               }}
                             : QList<ModalAnswers::Answer>{});
    view.addNewUrl(url, folder);
    QVERIFY(answers.allAnswered());
    QStringList entries;
    QDirIterator it(root.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.append(it.next().mid(root.path().size()));
    entries.sort();
    QStringList expected{QStringLiteral("/parent"), QStringLiteral("/parent/dl")};
    if (!created.isEmpty()) {
        expected.append(QStringLiteral("/parent/dl/") + created);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), url);
        QCOMPARE(spy.at(0).at(1).toString(), folder + QLatin1Char('/') + created);
        Settings::getInstance()->removeDownloadPath(folder + QLatin1Char('/') + created);
    } else {
        QCOMPARE(spy.count(), 0);
        // The user learns which address was refused.
        QVERIFY2(told.contains(url), qPrintable(told));
        QVERIFY(answers.seen() == QStringList{QStringLiteral("QMessageBox")});
    }
    QCOMPARE(entries, expected);
}

void TestLocalTreeWidget::contextMenuOnlyForFolders_data()
{
    QTest::addColumn<QStringList>("selection");
    QTest::addColumn<bool>("menu");
    QTest::newRow("nothing") << QStringList() << false;
    QTest::newRow("file") << QStringList{QStringLiteral("f.txt")} << false;
    QTest::newRow("file first, then folder")
        << QStringList{QStringLiteral("f.txt"), QStringLiteral("sub")} << false;
    QTest::newRow("folder") << QStringList{QStringLiteral("sub")} << true;
}

void TestLocalTreeWidget::contextMenuOnlyForFolders()
{
    QFETCH(QStringList, selection);
    QFETCH(bool, menu);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("sub")));
    QFile file(root.filePath(QStringLiteral("f.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    LocalTreeWidget view;
    view.show();
    for (const QString &name : selection) {
        QModelIndex index;
        QTRY_VERIFY((index = view.getLocalModel()->index(root.filePath(name))).isValid());
        view.selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    bool shown = false;
    QTimer closer;
    connect(&closer, &QTimer::timeout, &view, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            shown = qobject_cast<QMenu *>(popup) != nullptr;
            popup->close();
        }
    });
    closer.start(10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), view.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view.viewport(), &event);
    QTest::qWait(50);
    QCOMPARE(shown, menu);
}

void TestLocalTreeWidget::setAsDefault()
{
    QTemporaryDir root;
    LocalTreeWidget view;
    Settings::getInstance()->setDefaultDownloadDirectory(QString());
    QSignalSpy changes(Settings::getInstance(), &Settings::settingChange);
    QModelIndex index;
    QTRY_VERIFY((index = view.getLocalModel()->index(root.path())).isValid());
    QSignalSpy repaint(view.getLocalModel(), &QAbstractItemModel::dataChanged);
    view.setDefaultDownloadDirectory(QFileInfo(root.path()));
    QCOMPARE(Settings::getInstance()->getDefaultDownloadDirectory(), root.path());
    // The folder's icon is asked for again.
    QVERIFY(!repaint.isEmpty());
    QCOMPARE(repaint.last().at(0).toModelIndex(), index.siblingAtColumn(0));
    QCOMPARE(changes.count(), 0);
    Settings::getInstance()->setDefaultDownloadDirectory(QString());
}

void TestLocalTreeWidget::dropsFromElsewhereAreIgnored()
{
    // A drop that does not come from the remote pane (here: another program) never
    // reaches the model, so a file's URL cannot be taken for a download.
    QTemporaryDir root;
    LocalTreeWidget view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setRootIndex(view.getLocalModel()->index(root.path()));
    QSignalSpy spy(view.getLocalModel(), &LocalFilesTreeModel::downloadFile);
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("/getfile/15/1"))});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
    QVERIFY(!drop.isAccepted());
    QCOMPARE(spy.count(), 0);
    QCOMPARE(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_MAIN(TestLocalTreeWidget)
#include "tst_localtreewidget.moc"
