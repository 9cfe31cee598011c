#pragma once

#include "settings.h"

#include <QList>
#include <QMainWindow>
#include <QSystemTrayIcon>

#include <memory>

class AboutDialog;
class CommandInfo;
class FailureBox;
class MessageLogDock;
class LocalTreeWidget;
class PreferencesDialog;
class QAction;
class QLabel;
class RemoteFilesTreeItem;
class RemoteTreeWidget;
class TransferInfoDialog;

namespace Ui {
class MainWindowClass;
}

// The program's window: local files on the left, the user's storage on the right,
// three toolbars, a status line and a tray icon. It loads and saves the settings,
// starts the scheduler's thread and turns the scheduler's reports into what the user
// sees: status text, transfer rows and a message box for every failure.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    LocalTreeWidget *getLocalTree() const { return localTree; }
    RemoteTreeWidget *getRemoteTree() const { return remoteTree; }
    TransferInfoDialog *getTransferInfoDialog() const { return transferInfoDialog.get(); }
    QString getStatusText() const;
    MessageLogDock *getMessageLog() const { return messageLog; }
    FailureBox *getFailureBox() const { return failureBox; }

Q_SIGNALS:
    void requestRefreshList();
    void startManualSyncClicked();

public Q_SLOTS:
    // The sign-in dialog; on OK the account (and the server's address, if the user
    // changed it) is kept and the tree is fetched. True when accepted.
    bool signIn();
    void refreshClicked();
    void refreshLocalTreeClicked();
    void syncClicked();
    void prefsClicked();
    void aboutClicked();
    void exitClicked();
    void refreshRemoteModelItem(RemoteFilesTreeItem *item);
    void refreshRemoteModelLayout();
    void refreshLocalModel(RemoteFilesTreeItem *fileItem, QString downloadPath);
    void updateRemoteTree(QString receivedData);
    void manualTransferDone();
    // Owns and deletes the record.
    void refreshingProgress(CommandInfo *commandInfo);
    void settingChanged(Settings::SettingType settingType);
    void uploadClicked();
    void downloadClicked();
    void systemTrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void nonImplementedButtonClicked();
    void showMessageLog();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void createToolBars();
    void createTrayIcon();
    void registerCustomTypes();
    void connectScheduler();
    void readSettings();
    // Fills the preferences dialog from the settings store, as they are now.
    void loadPreferencesDialog();
    // Connect needs an account: without a login it is disabled, and says why.
    void updateConnectAction();
    void writeSettings();
    void downloadItem(RemoteFilesTreeItem *item, QList<RemoteFilesTreeItem *> &done,
                      const QString &path);
    QAction *makeAction(const char *icon, const QString &text, void (MainWindow::*slot)());
    // A finished command's mark on its remote item: a failure marks it (an item that
    // never reached the server is taken out instead), a success clears the mark.
    void markRemoteItem(const CommandInfo &info);

    std::unique_ptr<Ui::MainWindowClass> ui;
    // Top-level windows of their own; deleted when the window really closes.
    std::unique_ptr<AboutDialog> aboutDialog;
    std::unique_ptr<PreferencesDialog> prefsDialog;
    std::unique_ptr<TransferInfoDialog> transferInfoDialog;
    LocalTreeWidget *localTree = nullptr;
    RemoteTreeWidget *remoteTree = nullptr;
    QAction *refreshAction = nullptr;
    QAction *refreshLocalTreeAction = nullptr;
    QAction *syncAction = nullptr;
    QAction *preferencesAction = nullptr;
    QAction *aboutAction = nullptr;
    QAction *exitAction = nullptr;
    QAction *uploadAction = nullptr;
    QAction *externalUploadAction = nullptr;
    QAction *setDefaultDownloadDirectoryAction = nullptr;
    QAction *downloadAction = nullptr;
    QAction *externalDownloadAction = nullptr;
    QAction *renameAction = nullptr;
    QAction *removeAction = nullptr;
    QAction *propertiesAction = nullptr;
    QAction *editDecriptionAction = nullptr;
    QAction *toogleSearchableAction = nullptr;
    QAction *setPasswordAction = nullptr;
    QAction *createNewFolderAction = nullptr;
    QSystemTrayIcon *systemTrayIcon = nullptr;
    bool forceClose = false;
    QLabel *progressStateStatusBarLabel = nullptr;
    MessageLogDock *messageLog = nullptr;
    FailureBox *failureBox = nullptr;
};
