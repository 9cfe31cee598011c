#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

// Everything the command line sets. Every time limit is here so that tests can make
// it short; the defaults suit a person at a desk.
struct ServerOptions
{
    QString listenHost = QStringLiteral("127.0.0.1");
    quint16 listenPort = 2939;
    QString dataDir;
    QList<QPair<QByteArray, QByteArray>> users;
    bool demo = false;
    bool verbose = false;

    // A request has no terminator: once its fields are present it is taken as
    // complete after this much silence from the client.
    int requestQuietMs = 100;
    // A control connection whose request is still incomplete after this long is refused.
    int requestTimeoutMs = 10000;
    // A data listener waits this long for its client, and a data connection is
    // dropped after this long without progress.
    int dataTimeoutMs = 10000;
    // Shortest pause between two messages on one control connection, so that the
    // client reads each of them on its own.
    int messageGapMs = 50;
    // Progress messages of a URL upload are sent at most this often.
    int progressIntervalMs = 250;
    // A URL upload is given up after this long without bytes from the address.
    int fetchTimeoutMs = 60000;
    // An upload is given up after this many data connections in a row brought no bytes.
    int uploadAttempts = 3;

    // Uploads are fetched in ranges of this many bytes (0: the whole file at once).
    qint64 uploadRangeSize = 0;
    // Every upload and download moves at most this many bytes per second (0: no limit),
    // so that a transfer over loopback can be watched.
    qint64 dataRate = 0;

    // Fault injection for the client's tests.
    qint64 cutDownloadAfter = -1;  // close a download's data connection after N body bytes
    bool ignoreRange = false;      // answer every download from byte 0 with status 200
    bool download404 = false;      // answer every download with status 404
    int listPieceSize = 0;         // send the list in pieces of this many bytes ...
    int listPauseMs = 0;           // ... with this pause between them
    bool neverAnswer = false;      // accept control connections and never answer
};
