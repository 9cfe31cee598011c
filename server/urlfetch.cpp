#include "urlfetch.h"

#include "serveroptions.h"
#include "storage.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>

UrlFetch::UrlFetch(Storage &storage, const ServerOptions &options, QNetworkAccessManager *network,
                   const QByteArray &owner, qint64 folder, const QByteArray &name, const QUrl &url, QObject *parent)
    : QObject(parent)
    , storage(storage)
    , options(options)
    , network(network)
    , owner(owner)
    , folder(folder)
    , name(name)
    , url(url)
    , file(storage.tempDir() + QStringLiteral("/fetch-XXXXXX"))
{
    progressTimer.setInterval(options.progressIntervalMs);
    connect(&progressTimer, &QTimer::timeout, this, &UrlFetch::sendProgress);
}

UrlFetch::~UrlFetch()
{
    // A client that hangs up stops the fetch; the temporary file goes with us.
    if (reply) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void UrlFetch::start()
{
    if (!file.open()) {
        fail(ProtocolError::StorageFailure);
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(options.fetchTimeoutMs);
    reply = network->get(request);
    connect(reply, &QNetworkReply::readyRead, this, &UrlFetch::writeReceived);
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64, qint64 bytesTotal) {
        total = qMax<qint64>(0, bytesTotal);
    });
    connect(reply, &QNetworkReply::finished, this, &UrlFetch::fetchFinished);
    progressTimer.start();
}

void UrlFetch::writeReceived()
{
    while (reply->bytesAvailable() > 0) {
        const QByteArray chunk = reply->read(256 * 1024);
        if (file.write(chunk) != chunk.size()) {
            fail(ProtocolError::StorageFailure);
            return;
        }
        fetched += chunk.size();
    }
}

void UrlFetch::sendProgress()
{
    if (over || fetched == reported)
        return;
    reported = fetched;
    // The trailing tab ends the total even if another message follows in the same read.
    Q_EMIT message("progress\n" + QByteArray::number(fetched) + '\t' + QByteArray::number(total) + '\t');
}

void UrlFetch::fetchFinished()
{
    if (over)
        return;
    writeReceived();
    if (over)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
    reply->deleteLater();
    reply = nullptr;
    if (!ok) {
        fail(ProtocolError::FetchFailed);
        return;
    }
    if (!file.flush()) {
        fail(ProtocolError::StorageFailure);
        return;
    }
    if (!storage.isFolder(owner, folder)) {
        fail(ProtocolError::NoSuchItem);
        return;
    }
    if (storage.nameTaken(owner, folder, name)) {
        fail(ProtocolError::NameTaken);
        return;
    }
    Storage::Item item;
    item.name = name;
    item.parent = folder;
    item.size = fetched;
    item.date = QDateTime::currentSecsSinceEpoch();
    const qint64 id = storage.insertFile(owner, item, file);
    if (id == 0) {
        fail(ProtocolError::StorageFailure);
        return;
    }
    total = fetched;
    sendProgress();
    over = true;
    progressTimer.stop();
    Q_EMIT finished("done\n" + QByteArray::number(id) + '\t' + QByteArray::number(item.size) + '\t' + item.fsName);
}

void UrlFetch::fail(ProtocolError error)
{
    if (over)
        return;
    over = true;
    progressTimer.stop();
    if (reply) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
        reply = nullptr;
    }
    file.remove();
    Q_EMIT finished("error\n" + QByteArray::number(int(error)));
}
