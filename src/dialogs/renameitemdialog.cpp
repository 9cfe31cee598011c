#include "renameitemdialog.h"
#include "ui_renameitemdialog.h"

#include <QEvent>

RenameItemDialog::RenameItemDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::RenameItemDialog>())
{
    m_ui->setupUi(this);
}

RenameItemDialog::~RenameItemDialog() = default;

void RenameItemDialog::setItemName(const QString &name)
{
    m_ui->itemNameEdit->setText(name);
}

QString RenameItemDialog::getItemName() const
{
    return m_ui->itemNameEdit->text();
}

void RenameItemDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
