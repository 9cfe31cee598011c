#pragma once

#include <QDateTime>
#include <QDockWidget>

class QLineEdit;
class QListView;
class QSortFilterProxyModel;
class QStandardItemModel;

// The message log: one line per command's start, end or failure, with its time,
// newest last. The user filters it by a word, copies the shown lines and clears it.
// A dock of the main window: hidden or shown, and where it sits, is kept with the
// window's layout.
class MessageLogDock final : public QDockWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageLogDock)

public:
    explicit MessageLogDock(QWidget *parent = nullptr);
    ~MessageLogDock() override;

    // `text` is plain text; a failure is shown in red.
    void addEntry(const QDateTime &time, const QString &text, bool failure);
    // The lines as shown: filtered, oldest first, each "hh:mm:ss  text".
    QStringList getShownLines() const;
    int getEntryCount() const;

public Q_SLOTS:
    void copyShownLines() const;
    void clear();
    void setFilterText(const QString &text);

private:
    QStandardItemModel *entries;
    QSortFilterProxyModel *filtered;
    QListView *view;
    QLineEdit *filterEdit;
};
