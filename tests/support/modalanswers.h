#pragma once

#include <QDialogButtonBox>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

class QWidget;

// Answers the modal windows and popup menus that the code under test opens with
// exec(), in order: a timer watches for the active popup or modal widget and hands
// each new one to the next answer. A modal window that opens when no answer is left is rejected, so the
// test fails on it instead of hanging. Keep the object alive until the code under
// test has returned.
class ModalAnswers final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ModalAnswers)

public:
    using Answer = std::function<void(QWidget *)>;

    explicit ModalAnswers(QList<Answer> answers, QObject *parent = nullptr);

    bool allAnswered() const { return pending.isEmpty(); }
    // Class names of the windows met, in order; an extra window shows as
    // "unexpected " followed by its class name.
    QStringList seen() const { return seenNames; }

    // Clicks a standard button of a message box or of a dialog's button box.
    static Answer click(QDialogButtonBox::StandardButton button);
    // Picks the visible entry of a popup menu with this text (none: closes the menu
    // with Escape); the texts of all visible entries go to `shown` when given.
    static Answer chooseMenuEntry(const QString &text, QStringList *shown = nullptr);
    // Runs `prepare` on the window first (to fill in fields), then clicks.
    static Answer fillAndClick(std::function<void(QWidget *)> prepare,
                               QDialogButtonBox::StandardButton button);

private:
    void poll();

    QList<Answer> pending;
    QPointer<QWidget> lastAnswered;
    QStringList seenNames;
    QTimer timer;
};
