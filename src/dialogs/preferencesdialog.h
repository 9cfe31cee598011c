#pragma once

#include <QDialog>
#include <QTime>
#include <memory>

namespace Ui {
class PreferencesDialog;
}

// Edits the account, the synchronisation policy and its time, the default download
// folder and the number of simultaneous streams. It holds values only: the main
// window fills it from the settings store once and copies the values back when the
// user accepts it.
class PreferencesDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreferencesDialog)

public:
    explicit PreferencesDialog(QWidget *parent = nullptr);
    ~PreferencesDialog() override;

    void setLogin(const QString &login);
    void setPassword(const QString &password);
    void setDefaultDownloadDirectory(const QString &directory);
    void setManualSyncCheck(bool on);
    void setDropSyncCheck(bool on);
    // Also enables the time field when on, disables it when off.
    void setTimerSyncCheck(bool on);
    void setSyncTime(const QTime &time);
    // The spin box keeps the value within 1..5.
    void setStreamsCount(int count);
    // Shown only: the address is set at first run or in the settings file.
    void setServerAddress(const QString &host, int port);

    QString getLogin() const;
    QString getPassword() const;
    QString getDefaultDownloadDirectory() const;
    bool getManualSyncCheck() const;
    bool getDropSyncCheck() const;
    bool getTimerSyncCheck() const;
    QTime getSyncTime() const;
    int getStreamsCount() const;
    QString getServerAddressText() const;

public Q_SLOTS:
    // Keeps the dialog open, with a message, while the login or password holds what
    // the control protocol cannot carry.
    void accept() override;

protected:
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void on_selectDefaultDirectoryButton_clicked();

private:
    void setTimeFieldEnabled(bool enabled);

    std::unique_ptr<Ui::PreferencesDialog> m_ui;
};
