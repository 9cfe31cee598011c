#include "progressframe.h"
#include "ui_progressframe.h"

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
    m_ui->messageLabel->setText(message);
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
