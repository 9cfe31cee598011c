#include "messagelogdock.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QLineEdit>
#include <QListView>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

MessageLogDock::MessageLogDock(QWidget *parent)
    : QDockWidget(tr("Message log"), parent), entries(new QStandardItemModel(this)),
      filtered(new QSortFilterProxyModel(this))
{
    setObjectName(QStringLiteral("messageLogDock"));
    filtered->setSourceModel(entries);
    filtered->setFilterCaseSensitivity(Qt::CaseInsensitive);

    auto *contents = new QWidget(this);
    auto *layout = new QVBoxLayout(contents);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *bar = new QHBoxLayout;
    filterEdit = new QLineEdit(contents);
    filterEdit->setObjectName(QStringLiteral("filterEdit"));
    filterEdit->setPlaceholderText(tr("Filter: a file name, \"failed\", …"));
    filterEdit->setClearButtonEnabled(true);
    filterEdit->setAccessibleName(tr("Filter the messages"));
    auto *copyButton = new QPushButton(tr("Copy"), contents);
    copyButton->setToolTip(tr("Copy the lines shown to the clipboard"));
    auto *clearButton = new QPushButton(tr("Clear"), contents);
    bar->addWidget(filterEdit, 1);
    bar->addWidget(copyButton);
    bar->addWidget(clearButton);
    layout->addLayout(bar);

    view = new QListView(contents);
    view->setAccessibleName(tr("Messages"));
    view->setModel(filtered);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setUniformItemSizes(true);
    view->setWordWrap(false);
    layout->addWidget(view);
    setWidget(contents);

    connect(filterEdit, &QLineEdit::textChanged, this, &MessageLogDock::setFilterText);
    connect(copyButton, &QPushButton::clicked, this, &MessageLogDock::copyShownLines);
    connect(clearButton, &QPushButton::clicked, this, &MessageLogDock::clear);
}

MessageLogDock::~MessageLogDock() = default;

void MessageLogDock::addEntry(const QDateTime &time, const QString &text, bool failure)
{
    // Only a reader already at the end is kept there; one reading older lines stays.
    QScrollBar *scroll = view->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    auto *entry = new QStandardItem(time.toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("  ")
                                    + text);
    if (failure)
        entry->setForeground(QColor(Qt::red).darker(120));
    entries->appendRow(entry);
    if (atEnd)
        view->scrollToBottom();
}

QStringList MessageLogDock::getShownLines() const
{
    QStringList lines;
    lines.reserve(filtered->rowCount());
    for (int row = 0; row < filtered->rowCount(); ++row)
        lines.append(filtered->index(row, 0).data().toString());
    return lines;
}

int MessageLogDock::getEntryCount() const
{
    return entries->rowCount();
}

void MessageLogDock::copyShownLines() const
{
    QApplication::clipboard()->setText(getShownLines().join(QLatin1Char('\n')));
}

void MessageLogDock::clear()
{
    entries->clear();
}

void MessageLogDock::setFilterText(const QString &text)
{
    if (filterEdit->text() != text)
        filterEdit->setText(text);
    filtered->setFilterFixedString(text);
}
