#include "modalanswers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

ModalAnswers::ModalAnswers(QList<Answer> answers, QObject *parent)
    : QObject(parent)
    , pending(std::move(answers))
{
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, &ModalAnswers::poll);
    timer.start();
}

void ModalAnswers::poll()
{
    QWidget *modal = QApplication::activePopupWidget();
    if (!modal)
        modal = QApplication::activeModalWidget();
    if (!modal || modal == lastAnswered)
        return;
    lastAnswered = modal;
    if (pending.isEmpty()) {
        seenNames.append(QStringLiteral("unexpected ") + QLatin1String(modal->metaObject()->className()));
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        return;
    }
    seenNames.append(QLatin1String(modal->metaObject()->className()));
    pending.takeFirst()(modal);
}

ModalAnswers::Answer ModalAnswers::click(QDialogButtonBox::StandardButton button)
{
    return [button](QWidget *window) {
        QAbstractButton *target = nullptr;
        if (auto *box = qobject_cast<QMessageBox *>(window))
            target = box->button(QMessageBox::StandardButton(int(button)));
        else if (auto *buttons = window->findChild<QDialogButtonBox *>())
            target = buttons->button(button);
        if (target) {
            target->click();
            return;
        }
        QTest::qFail("the modal window has no such button", __FILE__, __LINE__);
        if (auto *dialog = qobject_cast<QDialog *>(window))
            dialog->reject();
    };
}

ModalAnswers::Answer ModalAnswers::chooseMenuEntry(const QString &text, QStringList *shown)
{
    return [text, shown](QWidget *window) {
        auto *menu = qobject_cast<QMenu *>(window);
        if (!menu) {
            QTest::qFail("the popup is not a menu", __FILE__, __LINE__);
            window->close();
            return;
        }
        QAction *chosen = nullptr;
        for (QAction *action : menu->actions()) {
            if (!action->isVisible() || action->isSeparator())
                continue;
            if (shown)
                shown->append(action->text());
            if (action->text() == text)
                chosen = action;
        }
        if (chosen) {
            // As a user does it: highlight the entry and press Return.
            menu->setActiveAction(chosen);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            QTest::keyClick(menu, Qt::Key_Escape);
        }
    };
}

ModalAnswers::Answer ModalAnswers::fillAndClick(std::function<void(QWidget *)> prepare,
                                                QDialogButtonBox::StandardButton button)
{
    return [prepare = std::move(prepare), button](QWidget *window) {
        prepare(window);
        click(button)(window);
    };
}
