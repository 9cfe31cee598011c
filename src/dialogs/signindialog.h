#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class SignInDialog;
}

class RefreshListCommand;

// The first-run sign-in: the server's address, login and password, and "Test
// connection", which runs one refresh with them and says what happened. It opens
// filled from the settings store. The values go into the store when the user accepts;
// a test uses them meanwhile, and Cancel puts the previous ones back.
class SignInDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SignInDialog)

public:
    explicit SignInDialog(QWidget *parent = nullptr);
    ~SignInDialog() override;

    QString getHost() const;
    int getPort() const;
    QString getLogin() const;
    QString getPassword() const;
    // Whether the host or port differ from what the store held when the dialog opened.
    bool isServerChanged() const;
    // What the last test said (empty before one).
    QString getTestResult() const;

public Q_SLOTS:
    void testConnection();
    // Keeps the dialog open, with a message, while the login is empty or the login or
    // password holds what the control protocol cannot carry.
    void accept() override;
    void reject() override;

Q_SIGNALS:
    void testFinished(bool connected);

private:
    // The message about the fields, empty when they can be used.
    QString fieldProblem() const;
    // Puts the typed values into the store, after stopping a test still running;
    // false, with the problem shown, when they cannot be used.
    bool takeTypedValues();
    void applyToStore(const QString &host, int port, const QString &login, const QString &password) const;
    void showResult(const QString &text);
    void stopTest();

    std::unique_ptr<Ui::SignInDialog> m_ui;
    QString initialHost;
    int initialPort = 0;
    QString initialLogin;
    QString initialPassword;
    std::unique_ptr<RefreshListCommand> test;
};
