#pragma once

#include <QString>

class QWidget;

// With PELORIN_SCREENSHOT_DIR=/some/folder set, saves what `widget` shows as
// /some/folder/`name` (a PNG), so a person can look at what a test drove; without it,
// does nothing.
void saveScreenshot(QWidget *widget, const QString &name);
