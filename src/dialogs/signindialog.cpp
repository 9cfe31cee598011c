#include "signindialog.h"
#include "ui_signindialog.h"

#include "base/settings.h"
#include "gui/commandfeedback.h"
#include "network/commandinfo.h"
#include "network/refreshlistcommand.h"
#include "wire/protocoltextcheck.h"

#include <QPushButton>

SignInDialog::SignInDialog(QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SignInDialog>())
{
    m_ui->setupUi(this);
    const Settings *store = Settings::getInstance();
    initialHost = store->getServerHost();
    initialPort = store->getServerPort();
    initialLogin = store->getLogin();
    initialPassword = store->getPass();
    m_ui->hostEdit->setText(initialHost);
    m_ui->portEdit->setValue(initialPort);
    m_ui->loginEdit->setText(initialLogin);
    m_ui->passwordEdit->setText(initialPassword);
    connect(m_ui->testButton, &QPushButton::clicked, this, &SignInDialog::testConnection);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &SignInDialog::accept);
    // The empty field is where the user starts typing.
    if (!initialLogin.isEmpty() && initialPassword.isEmpty())
        m_ui->passwordEdit->setFocus();
    else
        m_ui->loginEdit->setFocus();
}

SignInDialog::~SignInDialog()
{
    stopTest();
}

QString SignInDialog::getHost() const { return m_ui->hostEdit->text().trimmed(); }
int SignInDialog::getPort() const { return m_ui->portEdit->value(); }
QString SignInDialog::getLogin() const { return m_ui->loginEdit->text(); }
QString SignInDialog::getPassword() const { return m_ui->passwordEdit->text(); }
QString SignInDialog::getTestResult() const { return m_ui->testResultLabel->text(); }

bool SignInDialog::isServerChanged() const
{
    return getHost() != initialHost || getPort() != initialPort;
}

QString SignInDialog::fieldProblem() const
{
    if (getHost().isEmpty())
        return tr("Enter the server's address.");
    if (getLogin().isEmpty())
        return tr("Enter your login.");
    return ProtocolTextCheck::accountProblem(getLogin(), getPassword());
}

void SignInDialog::applyToStore(const QString &host, int port, const QString &login,
                                const QString &password) const
{
    Settings *store = Settings::getInstance();
    store->setServerHost(host);
    store->setServerPort(port);
    store->setLogin(login);
    store->setPass(password);
}

void SignInDialog::showResult(const QString &text)
{
    m_ui->testResultLabel->setText(text);
}

bool SignInDialog::takeTypedValues()
{
    const QString problem = fieldProblem();
    if (!problem.isEmpty()) {
        showResult(problem);
        return false;
    }
    stopTest();
    // Commands read the address and the account from the store.
    applyToStore(getHost(), getPort(), getLogin(), getPassword());
    return true;
}

void SignInDialog::testConnection()
{
    if (!takeTypedValues())
        return;
    showResult(tr("Connecting to %1:%2 ...").arg(getHost()).arg(getPort()));
    m_ui->testButton->setEnabled(false);
    test = std::make_unique<RefreshListCommand>(0);
    RefreshListCommand *command = test.get();
    connect(command, &BaseCommand::finished, this,
            [this, command](qulonglong, BaseCommand::CommandResult result) {
                if (test.get() != command)
                    return;
                command->wait();
                if (result == BaseCommand::NoError) {
                    const int lines = int(command->getReceivedData().count(QLatin1Char('\n')));
                    showResult(tr("Connected: your storage lists %n item(s).", nullptr, lines));
                } else {
                    CommandInfo::Subject subject;
                    subject.failureReason = command->getFailureReason();
                    const CommandInfo info(0, CommandInfo::Finished, QString(), result, 100, 0, 0.0,
                                           subject);
                    showResult(tr("Not connected: %1").arg(CommandFeedback::getFailureCause(info)));
                }
                test.reset();
                m_ui->testButton->setEnabled(true);
                Q_EMIT testFinished(result == BaseCommand::NoError);
            },
            Qt::QueuedConnection);
    command->moveToThread(command);
    command->start();
}

void SignInDialog::stopTest()
{
    if (!test)
        return;
    test->requestInterruption();
    test->wait();
    test.reset();
    m_ui->testButton->setEnabled(true);
}

void SignInDialog::accept()
{
    if (takeTypedValues())
        QDialog::accept();
}

void SignInDialog::reject()
{
    stopTest();
    // A test may have put the typed values into the store.
    applyToStore(initialHost, initialPort, initialLogin, initialPassword);
    QDialog::reject();
}
