#include "warningonnoemptydirectorydeletedialog.h"
#include "ui_warningonnoemptydirectorydeletedialog.h"

#include <QEvent>

WarningOnNoEmptyDirectoryDeleteDialog::WarningOnNoEmptyDirectoryDeleteDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::WarningOnNoEmptyDirectoryDeleteDialog>())
{
    m_ui->setupUi(this);
}

WarningOnNoEmptyDirectoryDeleteDialog::~WarningOnNoEmptyDirectoryDeleteDialog() = default;

void WarningOnNoEmptyDirectoryDeleteDialog::clearFlag()
{
    m_ui->checkBox->setChecked(false);
}

bool WarningOnNoEmptyDirectoryDeleteDialog::getFlag() const
{
    return m_ui->checkBox->isChecked();
}

void WarningOnNoEmptyDirectoryDeleteDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
