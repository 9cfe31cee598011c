#pragma once

#include <QByteArray>
#include <QPoint>
#include <QSize>
#include <QString>

class QSettings;

// The per-user INI file behind the settings store. load() reads every value into the
// store (each setter announcing its change, so listeners connected beforehand learn
// the loaded values) and returns the main window's geometry and toolbar state;
// save() writes them back. The server's host and port are written only by
// saveServer(), when the user changed them in the sign-in dialog: a hand-edited file
// is otherwise never rewritten there. The file holds the password in clear, so it is created
// readable by its owner only.
//
//   [MainWindow]        size, pos, state, warningonnoemptydirectorydelete
//   [UserOptions]       defaultdownloaddirectory
//   [UserOptions/Account] login, pass
//   [Sync]              sync, synctime
//   [Network]           streamscount
//   [Network/Server]    serverhost, serverport        (saveServer() only)
class SettingsFile final
{
public:
    struct WindowLayout {
        QSize size;
        QPoint pos;
        QByteArray state; // QMainWindow::saveState(0)
    };

    static constexpr int DefaultWidth = 800;
    static constexpr int DefaultHeight = 500;
    static constexpr int DefaultServerPort = 2939;
    static QString defaultServerHost() { return QStringLiteral("127.0.0.1"); }

    // The default per-user file for the application's organisation and name, or the
    // file given.
    explicit SettingsFile(const QString &fileName = QString());

    QString fileName() const { return path; }

    WindowLayout load() const;
    // False, with errorString(), if the file could not be written.
    bool save(const WindowLayout &layout);
    // Writes the server's host and port; false, with errorString(), on failure.
    bool saveServer(const QString &host, int port);
    QString errorString() const { return error; }

private:
    // Writes `file` out; false, with errorString(), on failure.
    bool finishWriting(QSettings &file);

    QString path;
    QString error;
};
