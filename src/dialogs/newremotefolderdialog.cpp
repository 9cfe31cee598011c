#include "newremotefolderdialog.h"
#include "ui_newremotefolderdialog.h"

#include <QEvent>

NewRemoteFolderDialog::NewRemoteFolderDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::NewRemoteFolderDialog>())
{
    m_ui->setupUi(this);
}

NewRemoteFolderDialog::~NewRemoteFolderDialog() = default;

void NewRemoteFolderDialog::cleanFolderName()
{
    m_ui->newFolderNameEdit->clear();
}

QString NewRemoteFolderDialog::getNewFolderName() const
{
    return m_ui->newFolderNameEdit->text();
}

void NewRemoteFolderDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
