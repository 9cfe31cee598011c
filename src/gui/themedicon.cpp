#include "themedicon.h"

#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

// The ink every outline of the icon set is drawn in.
const QByteArray OutlineInk = QByteArrayLiteral("#23313f");
const char *const IconNameProperty = "pelorinIconName";

QIcon renderIcon(const QByteArray &svg)
{
    QSvgRenderer renderer(svg);
    QIcon icon;
    // Tree rows, menus and toolbars, at 1x and 2x.
    for (int size : {16, 22, 24, 32, 48, 64, 96, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

bool ThemedIcon::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness()
        < palette.color(QPalette::WindowText).lightness();
}

QByteArray ThemedIcon::recolour(const QByteArray &svg, const QPalette &palette)
{
    if (!isDark(palette))
        return svg;
    QByteArray result = svg;
    return result.replace(OutlineInk, palette.color(QPalette::WindowText).name().toLatin1());
}

QIcon ThemedIcon::get(const QString &name)
{
    const QString path = QStringLiteral(":/icons/") + name;
    const QPalette palette = QGuiApplication::palette();
    const bool dark = isDark(palette);
    // Views ask for their icons on every painted row: each is loaded once per ink
    // (GUI thread only).
    static QHash<QString, QIcon> cache;
    const QString key = dark ? name + palette.color(QPalette::WindowText).name() : name;
    auto it = cache.constFind(key);
    if (it == cache.cend()) {
        QFile file(path);
        if (!dark || !file.open(QIODevice::ReadOnly))
            it = cache.insert(key, QIcon(path));
        else
            it = cache.insert(key, renderIcon(recolour(file.readAll(), palette)));
    }
    return *it;
}

void ThemedIcon::apply(QAction *action, const QString &name)
{
    action->setProperty(IconNameProperty, name);
    action->setIcon(get(name));
}

void ThemedIcon::refresh(QObject *root)
{
    const QList<QAction *> actions = root->findChildren<QAction *>();
    for (QAction *action : actions) {
        const QString name = action->property(IconNameProperty).toString();
        if (!name.isEmpty())
            action->setIcon(get(name));
    }
}
