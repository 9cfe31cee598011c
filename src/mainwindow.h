#pragma once

#include "base/settings.h"
#include "remotetree/remotetreewidget.h"

#include <QList>
#include <QMainWindow>
#include <QSystemTrayIcon>

#include <memory>
#include <utility>

class AboutDialog;
class CommandInfo;
class FailureBox;
class MessageLogDock;
class LocalTreeWidget;
class PreferencesDialog;
class QAction;
class QLabel;
class QLineEdit;
class QThread;
class QToolBar;
class RemoteFilesTreeItem;
class RemoteTree;
class TransferInfoDialog;

namespace Ui {
class MainWindowClass;
}

// The program's window: local files on the left, the user's storage on the right,
// a menu bar, three toolbars, a status line and a tray icon. It loads and saves the settings,
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
    QLineEdit *getLocalPathEdit() const { return localPathEdit; }

Q_SIGNALS:
    void requestRefreshList();
    void startManualSyncClicked();
    // A list given to updateRemoteTree() was built and now shows in the remote pane.
    void remoteTreeShown();

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
    void refreshLocalModel(QString downloadPath);
    // Builds the tree of a new list on a worker thread, then shows it in one step
    // (remoteTreeShown()); the window goes on painting and answering meanwhile. A list
    // that arrives while an older one builds supersedes it.
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
    // The local pane's folder, or the default download folder when nothing is selected,
    // receives a file fetched from an address the user types.
    void downloadFromUrlClicked();
    void setDefaultDownloadDirectoryClicked();
    // Puts the keyboard into the local folder field.
    void focusLocalPath();
    // Enables each button exactly when it has something to act on; a disabled one
    // says why in its tooltip.
    void updateActions();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createActions();
    void createToolBars();
    void createMenus();
    void createLocalPathField();
    void setShortcuts();
    void setTabOrderAndNames();
    // Texts under the icons where they fit, icons alone (texts in tooltips) where not.
    void fitToolBars();
    // Enter on a folder opens or closes it; on a remote file it downloads the selection.
    bool openOrDownload(QTreeView *view);
    // The local folder that a download from an address goes to; empty when none.
    QString localTargetFolder() const;
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
    // An action of the remote pane: it runs `command` on the remote selection.
    QAction *makeRemoteAction(const char *icon, const QString &text, RemoteTreeWidget::Command command);
    // A finished command's mark on its remote item: a failure marks it (an item that
    // never reached the server is taken out instead), a success clears the mark.
    void markRemoteItem(const CommandInfo &info);
    // Puts a built tree in place of the shown one: the folders open and the rows
    // selected before stay so where the new list still has them.
    void showRemoteTree(std::shared_ptr<RemoteTree> tree);

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
    QAction *messageLogAction = nullptr;
    QAction *focusLocalPathAction = nullptr;
    // The remote pane's actions with the command each runs.
    QList<std::pair<QAction *, RemoteTreeWidget::Command>> remoteCommandActions;
    QLineEdit *localPathEdit = nullptr;
    QSystemTrayIcon *systemTrayIcon = nullptr;
    bool forceClose = false;
    QLabel *progressStateStatusBarLabel = nullptr;
    QLabel *listLoadingLabel = nullptr;
    MessageLogDock *messageLog = nullptr;
    FailureBox *failureBox = nullptr;
    // Counts the lists given to updateRemoteTree(): only the newest one's tree is shown.
    quint64 remoteListGeneration = 0;
    // Threads building lists given to updateRemoteTree() (a newer list does not wait
    // for an older one).
    QList<QThread *> listBuilders;
    // The generation whose tree shows; behind remoteListGeneration while a list builds.
    quint64 shownListGeneration = 0;
    // The scheduler went idle while a list was building: the remote pane takes changes
    // again once that list's tree shows.
    bool enableRemoteTreeWhenShown = false;
};
