#pragma once

#include <QLabel>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// The one box that tells the user a command failed. The first failure opens it,
// modal over the window but without an event loop of its own, so reports go on being
// handled while it is open; failures that arrive meanwhile are counted in it rather
// than opening boxes of their own (a refused folder of thousands of files would
// otherwise pile up thousands of nested boxes). Every failure is also in the message
// log, which the box's count and its "Show log" button open.
class FailureBox final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FailureBox)

public:
    explicit FailureBox(QWidget *window);
    ~FailureBox() override;

    // `title` and `text` head the box; `detail` (plain text: the item, the operation
    // and the cause) follows under them. While the box is open, only counts.
    void report(const QString &title, const QString &text, const QString &detail);

    // The open box, or null.
    QMessageBox *getBox() const { return box; }
    int getMoreFailedCount() const { return moreFailed; }

Q_SIGNALS:
    void showLogRequested();

private:
    void updateInformativeText();

    QWidget *window;
    QPointer<QMessageBox> box;
    // The box's label under its text, once it holds the count's link.
    QPointer<QLabel> linkedLabel;
    QString detail;
    int moreFailed = 0;
};
