#include "descriptiondialog.h"
#include "ui_descriptiondialog.h"

#include <QEvent>

DescriptionDialog::DescriptionDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::DescriptionDialog>())
{
    m_ui->setupUi(this);
}

DescriptionDialog::~DescriptionDialog() = default;

void DescriptionDialog::setDescription(const QString &description)
{
    m_ui->DescriptionDialogEdit->setPlainText(description);
}

QString DescriptionDialog::getNewDescription() const
{
    return m_ui->DescriptionDialogEdit->toPlainText();
}

void DescriptionDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
