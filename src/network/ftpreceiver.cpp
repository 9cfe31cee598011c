#include "ftpreceiver.h"

#include "base/logging.h"
#include "curltransfer.h"

#include <QFile>
#include <QUrl>

// libcurl's C callback, with the types it calls it with.
struct FtpReceiverCallbacks {
    static size_t write(char *data, size_t size, size_t count, void *self);
};

QByteArray FtpReceiver::curlUrl(const QString &host, quint16 port, const QByteArray &folder,
                                const QByteArray &fileName)
{
    QByteArray url = "ftp://";
    // A literal IPv6 address needs its brackets in an address.
    if (host.contains(QLatin1Char(':')))
        url += '[' + host.toUtf8() + ']';
    else
        url += QUrl::toAce(host);
    url += ':' + QByteArray::number(port) + "/%2F";
    QByteArray relative = folder;
    while (relative.startsWith('/'))
        relative.remove(0, 1);
    url += relative.toPercentEncoding("/");
    if (!relative.isEmpty() && !relative.endsWith('/'))
        url += '/';
    url += fileName.toPercentEncoding();
    return url;
}

FtpReceiver::Outcome FtpReceiver::fetch(const QString &host, quint16 port, const QByteArray &user,
                                        const QByteArray &password, const QByteArray &folder,
                                        const QByteArray &fileName, QFile &target)
{
    file = &target;
    retrievalStarted = false;
    fileFailed = false;
    received = 0;
    error.clear();

    CurlTransfer transfer;
    if (!transfer.isValid()) {
        error = tr("cannot create an FTP client");
        return Outcome::ConnectionFailed;
    }
    CURL *curl = transfer.curl();
    const QByteArray url = curlUrl(host, port, folder, fileName);

    transfer.setCommonOptions(url, "ftp", connectTimeoutMs, stallTimeoutSeconds);
    // The credentials never go into the address, which appears in diagnostics.
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
    transfer.setWriteFunction(&FtpReceiverCallbacks::write, this);
    transfer.setProgressHandler(progress);

    const CURLcode code = transfer.perform();
    Outcome outcome = Outcome::Complete;
    if (fileFailed) {
        outcome = Outcome::FileError;
    } else if (code != CURLE_OK) {
        error = transfer.errorText(code);
        outcome = Outcome::ConnectionFailed;
    } else if (!retrievalStarted && !startRetrieval()) {
        // An empty file: the target becomes empty too.
        outcome = Outcome::FileError;
    }
    qCDebug(lcNetwork) << "FTP" << url << "curl" << int(code) << "bytes" << received << error;
    file = nullptr;
    return outcome;
}

bool FtpReceiver::startRetrieval()
{
    retrievalStarted = true;
    if (!file->resize(0) || !file->seek(0)) {
        error = file->errorString();
        fileFailed = true;
        return false;
    }
    return true;
}

size_t FtpReceiverCallbacks::write(char *data, size_t size, size_t count, void *self)
{
    auto *receiver = static_cast<FtpReceiver *>(self);
    const size_t length = size * count;
    if (!receiver->retrievalStarted && !receiver->startRetrieval())
        return 0; // refusing the bytes makes libcurl stop the transfer
    if (receiver->file->write(data, qint64(length)) != qint64(length)) {
        receiver->error = receiver->file->errorString();
        receiver->fileFailed = true;
        return 0;
    }
    receiver->received += qint64(length);
    return length;
}
