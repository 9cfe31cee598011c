#include "ftpreceiver.h"

#include "base/logging.h"

#include <QFile>
#include <QThread>
#include <QUrl>

#include <curl/curl.h>

#include <memory>

namespace {
struct EasyDeleter {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
} // namespace

// libcurl's C callbacks, with the types it calls them with.
struct FtpReceiverCallbacks {
    static size_t write(char *data, size_t size, size_t count, void *self);
    static int progress(void *self, curl_off_t downloadTotal, curl_off_t downloaded, curl_off_t,
                        curl_off_t);
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
    lastReceived = lastTotal = -1;
    error.clear();

    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) {
        error = tr("cannot create an FTP client");
        return Outcome::ConnectionFailed;
    }
    CURL *curl = handle.get();
    const QByteArray url = curlUrl(host, port, folder, fileName);

    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    // The credentials never go into the address, which appears in diagnostics.
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, ConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &FtpReceiverCallbacks::write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &FtpReceiverCallbacks::progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);

    const CURLcode code = curl_easy_perform(curl);
    Outcome outcome = Outcome::Complete;
    if (fileFailed) {
        outcome = Outcome::FileError;
    } else if (code != CURLE_OK) {
        error = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
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

int FtpReceiverCallbacks::progress(void *self, curl_off_t downloadTotal, curl_off_t downloaded,
                                   curl_off_t, curl_off_t)
{
    auto *receiver = static_cast<FtpReceiver *>(self);
    // libcurl calls this at least once a second, also while nothing arrives: the
    // moment to give up when the command's thread was asked to stop.
    if (QThread::currentThread()->isInterruptionRequested())
        return 1;
    // libcurl calls this repeatedly with the same counts; pass on changes only.
    if (downloaded == receiver->lastReceived && downloadTotal == receiver->lastTotal)
        return 0;
    receiver->lastReceived = downloaded;
    receiver->lastTotal = downloadTotal;
    if (receiver->progress)
        receiver->progress(qint64(downloaded), qint64(downloadTotal));
    return 0;
}
