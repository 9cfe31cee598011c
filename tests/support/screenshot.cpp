#include "screenshot.h"

#include <QDir>
#include <QPixmap>
#include <QTest>
#include <QWidget>

void saveScreenshot(QWidget *widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("PELORIN_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        QVERIFY(widget->grab().save(QDir(folder).filePath(name)));
}
