#include "windowactions.h"

#include <QAction>
#include <QWidget>

QAction *findAction(const QWidget &window, const QString &text)
{
    const QList<QAction *> actions = window.findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}
