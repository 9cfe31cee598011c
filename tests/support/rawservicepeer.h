#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Speaks the service's control protocol and the two data connections over raw
// sockets, with blocking waits, byte for byte as a client does. The development
// server's own tests use it, so they depend on nothing of the client program.
class RawServicePeer final
{
public:
    RawServicePeer(quint16 port, const QByteArray &login, const QByteArray &password);

    static QByteArray uploadDigestHex(const QByteArray &content);
    // The same from a file's MD5: 0x0A becomes 0x0E, then 0x09 becomes 0x0A.
    static QByteArray uploadDigestHexFromMd5(const QByteArray &md5);

    // Sends one request (prefix, word, fields) and returns every byte until the
    // server closes the connection or `timeoutMs` passes.
    QByteArray exchange(const QByteArray &word, const QByteArray &fields, int timeoutMs = 5000) const;
    // Sends raw bytes as a request, in pieces with pauses if asked.
    QByteArray exchangeRaw(const QList<QByteArray> &pieces, int pauseMs = 0, int timeoutMs = 5000) const;

    // The list lines of a refresh, split into fields; an empty list on failure.
    QList<QList<QByteArray>> list() const;
    // Id of the item of that name (and parent, if given) in the list, or -1.
    qint64 idOf(const QByteArray &name, qint64 parent = -1) const;
    qint64 makeDir(qint64 parent, const QByteArray &name) const;

    struct Upload
    {
        QByteArray finalReply;           // "done\n..." or "error\n..."
        QList<QByteArray> requestedRanges; // Content-Range values of the server's GETs
        qint64 id = -1;
    };
    // Announces and serves `content` as the client does: a GET whose range starts at
    // 0 gets the whole file, any other gets the range asked for. `digestHex` overrides
    // the digest; `abandonAfter` >= 0 hangs up both connections after that many bytes.
    Upload upload(qint64 parent, const QByteArray &name, const QByteArray &content,
                  const QByteArray &digestHex = QByteArray(), qint64 abandonAfter = -1) const;

    struct Download
    {
        QByteArray controlReply;
        QByteArray head; // status line and headers of the response
        QByteArray body;
        int status = 0;
    };
    // downloadfile, then a GET for "file" with `rangeHeader` (e.g. "Content-Range: 5-*")
    // on the port named; the control connection stays open until the body is read.
    Download download(qint64 id, const QByteArray &rangeHeader, const QByteArray &target = "file") const;

    static QByteArray httpHeader(const QByteArray &head, const QByteArray &name);

private:
    QByteArray prefix(const QByteArray &word) const;

    quint16 port;
    QByteArray login;
    QByteArray password;
};
