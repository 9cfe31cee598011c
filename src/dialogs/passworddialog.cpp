#include "passworddialog.h"
#include "ui_passworddialog.h"

#include <QEvent>

PasswordDialog::PasswordDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::PasswordDialog>())
{
    m_ui->setupUi(this);
}

PasswordDialog::~PasswordDialog() = default;

void PasswordDialog::cleanPassword()
{
    m_ui->PasswordDialogEdit->clear();
}

QString PasswordDialog::getNewPassword() const
{
    return m_ui->PasswordDialogEdit->text();
}

void PasswordDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
