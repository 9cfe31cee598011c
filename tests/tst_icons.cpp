#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTest>

// Every image the program refers to by resource name must exist, parse, and draw
// something visible at the sizes the tree views (16 px) and toolbars (32 px) use.
class TestIcons final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resolvesAndDraws_data();
    void resolvesAndDraws();
};

void TestIcons::resolvesAndDraws_data()
{
    QTest::addColumn<QString>("name");
    const char *names[] = {
        "logoIcon", "connectIcon", "refreshIcon", "refreshLocalFsIcon", "syncIcon",
        "prefsIcon", "aboutIcon", "exitIcon", "uploadIcon", "externalUploadIcon",
        "defaultDownloadDirectoryIcon", "downloadIcon", "externalDownloadIcon",
        "newFolderIcon", "renameIcon", "removeIcon", "toogleSearchableIcon",
        "editDescriptionIcon", "setPasswordIcon", "propertiesIcon", "uploadedIcon",
        "notUploadedIcon", "notAvailableIcon", "deletedDirIcon", "deletedFileIcon"};
    for (const char *name : names)
        QTest::newRow(name) << QString::fromLatin1(name);
}

static int visiblePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    return count;
}

void TestIcons::resolvesAndDraws()
{
    QFETCH(QString, name);
    const QString path = QStringLiteral(":/icons/") + name;

    QSvgRenderer renderer(path);
    QVERIFY2(renderer.isValid(), qPrintable(path));

    const QIcon icon(path);
    QVERIFY(!icon.isNull());
    for (int size : {16, 32}) {
        const QImage image = icon.pixmap(size, size).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        // A glyph covers a good part of its square; a blank or mis-scaled drawing does not.
        QVERIFY2(visiblePixels(image) > size * size / 5, qPrintable(QString::number(size)));
    }
}

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
