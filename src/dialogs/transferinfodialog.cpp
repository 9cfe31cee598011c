#include "transferinfodialog.h"
#include "ui_transferinfodialog.h"

#include "base/logging.h"
#include "dialogs/progressframe.h"

#include <QEvent>

TransferInfoDialog::TransferInfoDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::TransferInfoDialog>())
{
    m_ui->setupUi(this);
}

TransferInfoDialog::~TransferInfoDialog() = default;

void TransferInfoDialog::createProgress(unsigned long long id, int progress, const QString &message)
{
    qCDebug(lcApp) << "Start create Progress, index=" << id;

    // Ids whose rows are gone already would hold the queue up for good: skip them.
    while (!markToDeleteProgressFrames.isEmpty()
           && !progressFrames.contains(markToDeleteProgressFrames.constFirst()))
        markToDeleteProgressFrames.removeFirst();
    if (!markToDeleteProgressFrames.isEmpty())
        removeRow(markToDeleteProgressFrames.takeFirst());

    // A second start for the same id replaces its row instead of leaving the old
    // one in the window with nothing left to remove it.
    if (progressFrames.contains(id)) {
        removeRow(id);
        markToDeleteProgressFrames.removeAll(id);
    }

    auto *frame = new ProgressFrame(this);
    progressFrames.insert(id, frame);
    frame->setLabelText(message, QString(), QString());
    frame->setProgressValue(progress);
    m_ui->verticalLayout->insertWidget(0, frame);
    frame->show();
    growToFitRow(frame);

    qCDebug(lcApp) << "Finish create Progress, index=" << id;
}

void TransferInfoDialog::setProgressValue(unsigned long long id, int progress, const QString &message,
                                          const QString &time, const QString &speed)
{
    ProgressFrame *frame = progressFrames.value(id);
    if (!frame)
        return;
    frame->setLabelText(message, time, speed);
    frame->setProgressValue(progress);
    growToFitRow(frame);
}

void TransferInfoDialog::deleteProgress(unsigned long long id, int progress, const QString &message)
{
    qCDebug(lcApp) << "Start delete Progress, index=" << id;
    ProgressFrame *frame = progressFrames.value(id);
    if (frame) {
        frame->setLabelText(message, QString(), QString());
        frame->setProgressValue(progress);
        if (!markToDeleteProgressFrames.contains(id))
            markToDeleteProgressFrames.append(id);
        growToFitRow(frame);
    }
    qCDebug(lcApp) << "Finish delete Progress, index=" << id;
}

void TransferInfoDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}

void TransferInfoDialog::removeRow(unsigned long long id)
{
    ProgressFrame *frame = progressFrames.take(id);
    m_ui->verticalLayout->removeWidget(frame);
    delete frame;
}

void TransferInfoDialog::growToFitRow(ProgressFrame *frame)
{
    // Rows may be squeezed to their fixed minimum width, which would cut off a long
    // message such as a failure text; widen the window instead (never narrower, so
    // it does not jump about while a transfer reports progress). A row's layout
    // learns of new label texts only when activated, so activate it before asking.
    // Only the row that changed: the window is already as wide as every other row
    // wanted, and finished rows stay until the queue is done (a thousand rows
    // measured on every progress report held the window).
    frame->layout()->activate();
    const int rowWidth = qMin(frame->sizeHint().width(), frame->maximumWidth());
    const QMargins margins = layout()->contentsMargins();
    const int wanted = rowWidth + margins.left() + margins.right();
    if (wanted > width())
        resize(wanted, height());
}
