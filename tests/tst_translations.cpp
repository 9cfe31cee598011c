#include "base/settingsfile.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/addurldialog.h"
#include "dialogs/descriptiondialog.h"
#include "dialogs/newremotefolderdialog.h"
#include "dialogs/passworddialog.h"
#include "dialogs/preferencesdialog.h"
#include "dialogs/renameitemdialog.h"
#include "dialogs/signindialog.h"
#include "dialogs/transferinfodialog.h"
#include "dialogs/warningonnoemptydirectorydeletedialog.h"
#include "localtree/localtreewidget.h"
#include "mainwindow.h"
#include "modalanswers.h"
#include "remote/remotefileinfo.h"
#include "remotelistfixture.h"
#include "remotetree/remotefilestreemodel.h"
#include "remotetree/remotetreewidget.h"
#include "screenshot.h"
#include "startup.h"
#include "testpaths.h"

#include <QAbstractButton>
#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

namespace {

// A translation into a made-up language: every text that reaches the translator comes
// back bracketed. A visible text without the brackets was never offered for translation.
class PseudoTranslator final : public QTranslator
{
public:
    static constexpr QChar Open = QChar(0x27E6);
    static constexpr QChar Close = QChar(0x27E7);

    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *sourceText, const char *, int) const override
    {
        if (!sourceText || !*sourceText)
            return QString();
        return Open + QString::fromUtf8(sourceText) + Close;
    }
};

// Texts made only of data (numbers, addresses, times) carry no words to translate.
bool hasWords(const QString &text)
{
    static const QRegularExpression letters(QStringLiteral("[A-Za-z]{2,}"));
    return letters.match(text).hasMatch();
}

// Every visible text of `root` and its children, each tagged with where it was found.
QStringList visibleTexts(QWidget *root)
{
    QStringList texts;
    const auto add = [&texts](const QString &where, const QString &text) {
        if (hasWords(text))
            texts.append(where + QStringLiteral(": ") + text);
    };
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *widget : std::as_const(widgets)) {
        const QString name = QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(' ')
            + widget->objectName();
        add(name + QStringLiteral(" title"), widget->windowTitle());
        add(name + QStringLiteral(" tooltip"), widget->toolTip());
        if (auto *label = qobject_cast<QLabel *>(widget))
            add(name, label->text());
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            add(name, button->text());
        if (auto *group = qobject_cast<QGroupBox *>(widget))
            add(name, group->title());
        if (auto *edit = qobject_cast<QLineEdit *>(widget))
            add(name + QStringLiteral(" placeholder"), edit->placeholderText());
        if (auto *menu = qobject_cast<QMenu *>(widget))
            add(name, menu->title());
        if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                add(name + QStringLiteral(" tab"), tabs->tabText(i));
        }
        if (auto *view = qobject_cast<QAbstractItemView *>(widget); view && view->model()) {
            for (int column = 0; column < view->model()->columnCount(); ++column)
                add(name + QStringLiteral(" header"), view->model()->headerData(column, Qt::Horizontal).toString());
        }
        for (QAction *action : widget->actions()) {
            const QString where = QStringLiteral("action ") + action->objectName();
            add(where, action->text());
            add(where + QStringLiteral(" tooltip"), action->toolTip());
            if (action->menu())
                add(where + QStringLiteral(" menu"), action->menu()->title());
        }
    }
    for (QAction *action : root->findChildren<QAction *>()) {
        add(QStringLiteral("action ") + action->objectName(), action->text());
        add(QStringLiteral("action ") + action->objectName() + QStringLiteral(" tooltip"), action->toolTip());
    }
    return texts;
}

QStringList untranslated(const QStringList &texts)
{
    QStringList missing;
    for (const QString &text : texts) {
        if (!text.contains(PseudoTranslator::Open))
            missing.append(text);
    }
    return missing;
}

// The %1 … %9 and %n markers a message holds, sorted; a translation must keep them all.
QStringList placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%(?:[1-9]|n)"));
    QStringList found;
    for (auto it = marker.globalMatch(text); it.hasNext();)
        found.append(it.next().captured());
    found.sort();
    return found;
}

} // namespace

class TestTranslations final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void germanIsComplete();
    void germanLoadsForTheLocale_data();
    void germanLoadsForTheLocale();
    void germanMainWindow();
    void pseudoLocaleMainWindow();
    void pseudoLocaleDialogs();
    void pseudoLocaleProperties();

private:
    QTemporaryDir config;
};

void TestTranslations::initTestCase()
{
    StartUp::configureApplication();
    QVERIFY(config.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    QSettings ini(SettingsFile().fileName(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("UserOptions/Account/login"), QStringLiteral("demo"));
    ini.setValue(QStringLiteral("UserOptions/Account/pass"), QStringLiteral("demo"));
    ini.setValue(QStringLiteral("UserOptions/defaultdownloaddirectory"), config.path());
}

void TestTranslations::cleanup()
{
    // installTranslations() parents its translators to the application; a deleted
    // translator uninstalls itself.
    qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator *>());
}

// Every message of the German file is translated, nothing is left unfinished or
// obsolete, and each translation keeps the source's %1 / %n markers.
void TestTranslations::germanIsComplete()
{
    QFile file(QStringLiteral(PELORIN_SOURCE_DIR "/translations/pelorinclient_de.ts"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QXmlStreamReader xml(&file);
    int messages = 0;
    QString source;
    QStringList problems;
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            ++messages;
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            if (!type.isEmpty())
                problems.append(type + QStringLiteral(": ") + source);
            // Numerus forms are read as one text; %n must survive in it.
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (text.trimmed().isEmpty())
                problems.append(QStringLiteral("empty: ") + source);
            else if (!source.contains(QLatin1String("%n")) && placeholders(text) != placeholders(source))
                problems.append(QStringLiteral("markers differ: ") + source + QStringLiteral(" -> ") + text);
            else if (source.contains(QLatin1String("%n")) && !text.contains(QLatin1String("%n")))
                problems.append(QStringLiteral("no %n: ") + source);
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(messages > 100);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestTranslations::germanLoadsForTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("connect");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << true << "Verbinden";
    QTest::newRow("Austrian German") << QLocale(QLocale::German, QLocale::Austria) << true << "Verbinden";
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << false << "Connect";
    QTest::newRow("C") << QLocale::c() << false << "Connect";
}

void TestTranslations::germanLoadsForTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(bool, loaded);
    QFETCH(QString, connect);
    QCOMPARE(StartUp::installTranslations(locale), loaded);
    QCOMPARE(QCoreApplication::translate("MainWindow", "Connect"), connect);
    // The remote tree's type column and a size, through the same translation.
    const RemoteFileInfo file(1, 0, false, QStringLiteral("a"), 3, quint32(0), true);
    QCOMPARE(file.value(3).toString(), loaded ? QStringLiteral("Ja") : QStringLiteral("Yes"));
    QCOMPARE(file.size(), loaded ? QStringLiteral("3 Bytes") : QStringLiteral("3 bytes"));
}

// A small remote tree, so the remote columns show texts of their own.
static RemoteFilesTreeModel *showSmallRemoteTree(MainWindow &window)
{
    const QString list = QStringList{RemoteListFixture::line(1, true, QStringLiteral("photos"), 0),
                                     RemoteListFixture::line(2, false, QStringLiteral("a.jpg"), 1, 5000),
                                     RemoteListFixture::line(3, false, QStringLiteral("notes.txt"), 0, 700)}
                             .join(QLatin1Char('\n'));
    auto *model = new RemoteFilesTreeModel(list, window.getRemoteTree());
    window.getRemoteTree()->setModel(model);
    window.getRemoteTree()->expandAll();
    window.resize(1200, 650);
    window.show();
    return model;
}

// The whole window in German: toolbar, headers and the remote tree's values.
void TestTranslations::germanMainWindow()
{
    QVERIFY(StartUp::installTranslations(QLocale(QLocale::German, QLocale::Germany)));
    MainWindow window;
    RemoteFilesTreeModel *model = showSmallRemoteTree(window);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column)
        headers.append(model->headerData(column, Qt::Horizontal).toString());
    QCOMPARE(headers, QStringList({"Name", "Größe", "Typ", "Abgleich", "Geändert am"}));
    const QModelIndex root = model->index(0, 0);
    QCOMPARE(root.data().toString(), QStringLiteral("Mein Kelvarhold von demo"));
    const QModelIndex folder = model->index(0, 0, root);
    QCOMPARE(folder.siblingAtColumn(2).data().toString(), QStringLiteral("Ordner"));
    const QModelIndex file = model->index(0, 0, folder);
    QCOMPARE(file.siblingAtColumn(1).data().toString(), QStringLiteral("4 KB"));
    QCOMPARE(file.siblingAtColumn(3).data().toString(), QStringLiteral("Ja"));
    QStringList actions;
    for (QAction *action : window.findChildren<QAction *>())
        actions.append(action->text());
    QVERIFY2(actions.contains(QStringLiteral("Verbinden")), qPrintable(actions.join(QLatin1Char('|'))));
    saveScreenshot(&window, QStringLiteral("main-window-german.png"));
}

void TestTranslations::pseudoLocaleMainWindow()
{
    PseudoTranslator pseudo;
    QCoreApplication::installTranslator(&pseudo);
    {
        MainWindow window;
        RemoteFilesTreeModel *model = showSmallRemoteTree(window);
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QStringList texts = visibleTexts(&window);
        QVERIFY(texts.size() > 20);
        QStringList missing = untranslated(texts);

        // The remote tree's own values: the root's name, type, size and upload state.
        const QModelIndex root = model->index(0, 0);
        const QModelIndex folder = model->index(0, 0, root);
        const QModelIndex file = model->index(0, 0, folder);
        for (const QModelIndex &index : {root, folder.siblingAtColumn(2), folder.siblingAtColumn(3),
                                         file.siblingAtColumn(1), file.siblingAtColumn(2),
                                         file.siblingAtColumn(3)}) {
            const QString text = index.data().toString();
            QVERIFY2(hasWords(text), qPrintable(text));
            if (!text.contains(PseudoTranslator::Open))
                missing.append(QStringLiteral("remote tree: ") + text);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    }
    QCoreApplication::removeTranslator(&pseudo);
}

void TestTranslations::pseudoLocaleDialogs()
{
    PseudoTranslator pseudo;
    QCoreApplication::installTranslator(&pseudo);
    std::vector<std::unique_ptr<QWidget>> dialogs;
    dialogs.emplace_back(new AboutDialog);
    dialogs.emplace_back(new AddUrlDialog);
    dialogs.emplace_back(new DescriptionDialog);
    dialogs.emplace_back(new NewRemoteFolderDialog);
    dialogs.emplace_back(new PasswordDialog);
    dialogs.emplace_back(new PreferencesDialog);
    dialogs.emplace_back(new RenameItemDialog);
    dialogs.emplace_back(new SignInDialog);
    dialogs.emplace_back(new TransferInfoDialog);
    dialogs.emplace_back(new WarningOnNoEmptyDirectoryDeleteDialog);
    QStringList missing;
    for (const auto &dialog : dialogs) {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        const QStringList texts = visibleTexts(dialog.get());
        QVERIFY2(!texts.isEmpty(), dialog->metaObject()->className());
        missing += untranslated(texts);
        dialog->hide();
    }
    dialogs.clear();
    QCoreApplication::removeTranslator(&pseudo);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
}

// The Properties box is put together from one translated line per attribute.
void TestTranslations::pseudoLocaleProperties()
{
    PseudoTranslator pseudo;
    QCoreApplication::installTranslator(&pseudo);
    MainWindow window;
    RemoteFilesTreeModel *model = showSmallRemoteTree(window);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    RemoteTreeWidget *view = window.getRemoteTree();
    const QModelIndex file = model->index(0, 0, model->index(0, 0, model->index(0, 0)));
    QCOMPARE(file.data().toString(), QStringLiteral("a.jpg"));
    view->selectionModel()->select(file, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->selectionModel()->setCurrentIndex(file, QItemSelectionModel::NoUpdate);

    QStringList entries;
    QString title;
    QString text;
    ModalAnswers answers({ModalAnswers::chooseMenuEntry(PseudoTranslator::Open + QStringLiteral("Properties")
                                                            + PseudoTranslator::Close,
                                                        &entries),
                          ModalAnswers::fillAndClick(
                              [&](QWidget *box) {
                                  title = box->windowTitle();
                                  text = qobject_cast<QMessageBox *>(box)->text();
                              },
                              QDialogButtonBox::Ok)});
    const QPoint pos = view->visualRect(file).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(view->viewport(), &event);
    QVERIFY2(answers.allAnswered(), qPrintable(answers.seen().join(QLatin1Char(','))));
    QVERIFY(!entries.isEmpty());
    QVERIFY2(untranslated(entries).isEmpty(), qPrintable(untranslated(entries).join(QLatin1Char('\n'))));
    QVERIFY2(title.contains(PseudoTranslator::Open), qPrintable(title));
    // Type, name, size, date and download address: five lines, each translated whole.
    QVERIFY2(text.count(PseudoTranslator::Open) == 5, qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("a.jpg")), qPrintable(text));
}

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
