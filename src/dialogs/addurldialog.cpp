#include "addurldialog.h"
#include "ui_addurldialog.h"

#include <QEvent>

AddUrlDialog::AddUrlDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::AddUrlDialog>())
{
    m_ui->setupUi(this);
}

AddUrlDialog::~AddUrlDialog() = default;

void AddUrlDialog::clearUrl()
{
    m_ui->urlEdit->clear();
}

QString AddUrlDialog::getUrl() const
{
    return m_ui->urlEdit->text();
}

void AddUrlDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
