#include "progressframe.h"
#include "ui_progressframe.h"

#include "gui/richtextguard.h"

#include <QEvent>

ProgressFrame::ProgressFrame(QWidget *parent)
    : QFrame(parent)
    , m_ui(std::make_unique<Ui::ProgressFrame>())
{
    m_ui->setupUi(this);
}

ProgressFrame::~ProgressFrame() = default;

void ProgressFrame::setLabelText(const QString &message, const QString &time, const QString &speed)
{
    // Rich text, with the program's own markup only.
    m_ui->messageLabel->setTextFormat(Qt::RichText);
    m_ui->messageLabel->setText(RichTextGuard::ownMarkupOnly(message));
    m_ui->timeLabel->setText(time);
    m_ui->speedLabel->setText(speed);
}

void ProgressFrame::setProgressValue(int value)
{
    m_ui->progressBar->setValue(value);
}

void ProgressFrame::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
