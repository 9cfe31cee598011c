#pragma once

#include <QByteArray>

class Storage;

// The demo account (demo / demo) and its small tree: a few folders, images, text
// files and one file the service marks not available.
class DemoData final
{
public:
    static inline const QByteArray Login = QByteArrayLiteral("demo");
    static inline const QByteArray Password = QByteArrayLiteral("demo");

    static bool create(Storage &storage);

    // A small PNG picture of a colour gradient, width x height pixels.
    static QByteArray gradientPng(int width, int height, int hueShift);
};
