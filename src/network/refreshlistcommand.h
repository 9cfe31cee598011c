#pragma once

// Fetches the complete list of the user's files and folders.
//
//   client -> server   <login>\n<password>\nrefresh\n
//   server -> client   filelist\n<list text ...>     (in as many pieces as it likes)
//                  or  error\n<code>
//
// The list has no terminator and no length: it ends when the server closes the
// connection or stays silent for one silence window (1 s).

#include "basecommand.h"

#include <QString>

class RefreshListCommand final : public BaseCommand
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RefreshListCommand)

public:
    static constexpr int DefaultSilenceMs = 1000;
    // The silence that ends the list; tests shorten it.
    static int getSilenceMs();
    static void setSilenceMs(int ms);

    explicit RefreshListCommand(qulonglong commandId, QObject *parent = nullptr);

    QString getReceivedData() const;
    QString getCommandTypeString() const override;

public Q_SLOTS:
    void execute() override;

protected:
    QString getCommandName() const override;

private:
    // Written on the command's thread, read by the scheduler after `finished`.
    QString receivedData;
};
