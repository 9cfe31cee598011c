#pragma once

#include <QString>

class QAction;
class QWidget;

// The window's action with exactly this text (toolbar and menu entries), or null.
QAction *findAction(const QWidget &window, const QString &text);
