#pragma once

#include <QByteArray>
#include <QIcon>
#include <QString>

class QAction;
class QObject;
class QPalette;

// The program's icons draw their outlines in one dark ink that vanishes on a dark
// palette. Loaded through here, that ink becomes the palette's text colour when the
// palette is dark, so every icon stays visible whichever palette the desktop uses.
class ThemedIcon final
{
public:
    // The icon of the resource ":/icons/`name`" for the application's palette now.
    static QIcon get(const QString &name);
    // Gives `action` that icon and remembers the name, so refresh() can draw it anew.
    static void apply(QAction *action, const QString &name);
    // Draws the icons of every action below `root` again for the current palette.
    static void refresh(QObject *root);

    // Light text on a dark window.
    static bool isDark(const QPalette &palette);
    // The image's text with its outline ink replaced by the palette's text colour on a
    // dark palette; unchanged on a light one.
    static QByteArray recolour(const QByteArray &svg, const QPalette &palette);
};
