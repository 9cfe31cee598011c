#include "preferencesdialog.h"
#include "ui_preferencesdialog.h"

#include "wire/protocoltextcheck.h"

#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>

PreferencesDialog::PreferencesDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::PreferencesDialog>())
{
    m_ui->setupUi(this);
    m_ui->passEdit->setEchoMode(QLineEdit::Password);
    // Choosing the timed policy by hand must make its time editable, or the user
    // could pick it without being able to say when it runs.
    connect(m_ui->timerSync, &QRadioButton::toggled, this, &PreferencesDialog::setTimeFieldEnabled);
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::setLogin(const QString &login)
{
    m_ui->loginEdit->setText(login);
}

void PreferencesDialog::setPassword(const QString &password)
{
    m_ui->passEdit->setText(password);
}

void PreferencesDialog::setDefaultDownloadDirectory(const QString &directory)
{
    m_ui->defaultDownloadDirectoryEdit->setText(directory);
}

void PreferencesDialog::setManualSyncCheck(bool on)
{
    m_ui->manualSync->setChecked(on);
}

void PreferencesDialog::setDropSyncCheck(bool on)
{
    m_ui->dropSync->setChecked(on);
}

void PreferencesDialog::setTimerSyncCheck(bool on)
{
    m_ui->timerSync->setChecked(on);
    setTimeFieldEnabled(on);
}

void PreferencesDialog::setSyncTime(const QTime &time)
{
    m_ui->timeEdit->setTime(time);
}

void PreferencesDialog::setStreamsCount(int count)
{
    m_ui->streamsCountEdit->setValue(count);
}

void PreferencesDialog::setServerAddress(const QString &host, int port)
{
    m_ui->serverAddressLabel->setText(QStringLiteral("%1:%2").arg(host).arg(port));
}

QString PreferencesDialog::getServerAddressText() const
{
    return m_ui->serverAddressLabel->text();
}

QString PreferencesDialog::getLogin() const
{
    return m_ui->loginEdit->text();
}

QString PreferencesDialog::getPassword() const
{
    return m_ui->passEdit->text();
}

QString PreferencesDialog::getDefaultDownloadDirectory() const
{
    return m_ui->defaultDownloadDirectoryEdit->text();
}

bool PreferencesDialog::getManualSyncCheck() const
{
    return m_ui->manualSync->isChecked();
}

bool PreferencesDialog::getDropSyncCheck() const
{
    return m_ui->dropSync->isChecked();
}

bool PreferencesDialog::getTimerSyncCheck() const
{
    return m_ui->timerSync->isChecked();
}

QTime PreferencesDialog::getSyncTime() const
{
    return m_ui->timeEdit->time();
}

int PreferencesDialog::getStreamsCount() const
{
    return m_ui->streamsCountEdit->value();
}

void PreferencesDialog::accept()
{
    const QString problem = ProtocolTextCheck::accountProblem(getLogin(), getPassword());
    if (!problem.isEmpty()) {
        // Plain text: the message quotes what the user typed.
        QMessageBox box(QMessageBox::Warning, tr("Preferences"), problem, QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    QDialog::accept();
}

void PreferencesDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}

void PreferencesDialog::on_selectDefaultDirectoryButton_clicked()
{
    const QString directory = QFileDialog::getExistingDirectory(
        this, tr("Select default directory for downloads"),
        m_ui->defaultDownloadDirectoryEdit->text(), QFileDialog::ShowDirsOnly);
    if (!directory.isEmpty())
        m_ui->defaultDownloadDirectoryEdit->setText(directory);
}

void PreferencesDialog::setTimeFieldEnabled(bool enabled)
{
    m_ui->label_3->setEnabled(enabled);
    m_ui->timeEdit->setEnabled(enabled);
}
