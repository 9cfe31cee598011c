#include "downloadurlcommand.h"

#include "ftpreceiver.h"
#include "httpreceiver.h"
#include "wire/localfilename.h"
#include "failurereason.h"
#include "base/logging.h"

#include <QFile>
#include <QUrl>

namespace {

// The host as it goes into an address or a Host header: ACE form, IPv6 in brackets.
QByteArray hostForAddress(const QUrl &url)
{
    const QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    return host.contains(':') ? '[' + host + ']' : host;
}

// Bytes that would end an FTP command line early and smuggle in another one.
bool holdsLineBreakOrNul(const QByteArray &text)
{
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

} // namespace

DownloadUrlCommand::DownloadUrlCommand(qulonglong commandId, const QString &remotePath,
                                       const QString &downloadPath, QObject *parent)
    : BaseCommand(commandId, BaseCommand::DownloadUrlCommand, NonServer, parent),
      downloadPath(downloadPath), remotePath(remotePath)
{
}

QString DownloadUrlCommand::getCommandTypeString() const
{
    return typeStringFor(tr("Download file"), downloadPath);
}

QString DownloadUrlCommand::getCommandName() const { return QStringLiteral("downloadurl"); }

void DownloadUrlCommand::execute()
{
    Q_EMIT started(commandId);

    const QUrl url(remotePath, QUrl::TolerantMode);
    // Diagnostics never show the password of an address.
    const QString shownUrl = url.toDisplayString(QUrl::RemovePassword);
    if (!url.isValid() || url.host().isEmpty()) {
        qCDebug(lcNetwork) << "download url: not a usable address" << shownUrl;
        setFailureReason(tr("%1 is not a usable address").arg(shownUrl));
        receiverRequestFinished(InitialDataFormatError);
        return;
    }
    const bool ftp = url.scheme() == QLatin1String("ftp");
    if (!ftp && url.scheme() != QLatin1String("http")) {
        qCDebug(lcNetwork) << "download url: scheme not supported" << url.scheme();
        setFailureReason(tr("only http and ftp addresses can be downloaded"));
        receiverRequestFinished(InitialDataFormatError);
        return;
    }
    if (!LocalFileName::isSafeTargetPath(downloadPath)) {
        qCDebug(lcNetwork) << "download url: refused target path" << downloadPath;
        setFailureReason(tr("%1 is not a safe file name to write").arg(downloadPath));
        receiverRequestFinished(InitialDataFormatError);
        return;
    }

    // Never truncated here: an HTTP download resumes behind the bytes present, and an
    // FTP retrieval cuts the file only once its bytes arrive.
    QFile target(downloadPath);
    if (!target.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        qCDebug(lcNetwork) << "download url: cannot open" << downloadPath << target.errorString();
        setFailureReason(FailureReason::cannotWrite(target));
        receiverRequestFinished(InitialDataFormatError);
        return;
    }
    qCDebug(lcNetwork) << "download url:" << shownUrl << "into" << downloadPath;
    const CommandResult result = ftp ? downloadFtp(url, target) : downloadHttp(url, target);
    target.close();
    receiverRequestFinished(result);
}

BaseCommand::CommandResult DownloadUrlCommand::downloadHttp(const QUrl &url, QFile &target)
{
    const qint64 offset = target.size();
    const QByteArray host = hostForAddress(url);
    QByteArray requestTarget = url.path(QUrl::FullyEncoded).toLatin1();
    // An address with a host only asks for the server's root.
    if (requestTarget.isEmpty())
        requestTarget = "/";
    if (url.hasQuery())
        requestTarget += '?' + url.query(QUrl::FullyEncoded).toLatin1();

    QList<QByteArray> headers{
        "Host: " + host,
        "Accept:", // no default of the HTTP library
        "Content-Range: " + QByteArray::number(offset) + "-*",
        "Content-Length: 0",
    };
    if (!url.userName().isEmpty()) {
        const QByteArray credentials = url.userName(QUrl::FullyDecoded).toUtf8() + ':'
            + url.password(QUrl::FullyDecoded).toUtf8();
        headers.append("Authorization: Basic " + credentials.toBase64());
    }
    qCDebug(lcNetwork) << "GET" << requestTarget << "Content-Range:" << offset << "-*";

    HttpReceiver receiver;
    receiver.setConnectTimeoutMs(limits.connectMs);
    receiver.setStallTimeoutSeconds(limits.transferStallSeconds);
    receiver.setProgressHandler(
        [this](qint64 received, qint64 total) { receiverReadProgress(received, total); });
    const QByteArray base = "http://" + host + ':' + QByteArray::number(url.port(80)) + '/';
    const HttpReceiver::Outcome outcome =
        receiver.fetch(base, requestTarget, headers, target, offset);
    if (outcome == HttpReceiver::Outcome::Complete)
        return NoError;
    qCDebug(lcNetwork) << "download url: http failed:" << receiver.errorString();
    setFailureReason(FailureReason::fetchFailed(outcome == HttpReceiver::Outcome::FileError,
                                                downloadPath, target.size() - offset,
                                                receiver.errorString()));
    return ConnectionError;
}

BaseCommand::CommandResult DownloadUrlCommand::downloadFtp(const QUrl &url, QFile &target)
{
    // The folder is everything before the last "/" of the path as typed, the file name
    // what follows; escapes are decoded only then, so "%2F" inside a name stays there.
    const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    const qsizetype lastSlash = path.lastIndexOf('/');
    QByteArray folder = QByteArray::fromPercentEncoding(path.left(qMax<qsizetype>(lastSlash, 0)));
    if (!folder.startsWith('/'))
        folder.prepend('/');
    const QByteArray fileName = QByteArray::fromPercentEncoding(path.mid(lastSlash + 1));
    // An empty name would make the server list the folder into the user's file.
    if (fileName.isEmpty() || holdsLineBreakOrNul(folder) || holdsLineBreakOrNul(fileName)) {
        qCDebug(lcNetwork) << "download url: no usable file name in" << path;
        setFailureReason(tr("the address names no file to fetch"));
        return InitialDataFormatError;
    }
    const QByteArray user = url.userName(QUrl::FullyDecoded).toUtf8();
    const QByteArray password = url.password(QUrl::FullyDecoded).toUtf8();
    if (holdsLineBreakOrNul(user) || holdsLineBreakOrNul(password)) {
        qCDebug(lcNetwork) << "download url: user name or password holds a line break";
        setFailureReason(tr("the address's user name or password holds a line break"));
        return InitialDataFormatError;
    }
    qCDebug(lcNetwork) << "download url: ftp login'ing as"
                       << (user.isEmpty() ? QByteArray("anonymous") : user);
    qCDebug(lcNetwork) << "download url: ftp cd'ing to dir" << folder;
    qCDebug(lcNetwork) << "download url: ftp trying to get file" << fileName;

    FtpReceiver receiver;
    receiver.setConnectTimeoutMs(limits.connectMs);
    receiver.setStallTimeoutSeconds(limits.transferStallSeconds);
    receiver.setProgressHandler(
        [this](qint64 received, qint64 total) { receiverReadProgress(received, total); });
    const FtpReceiver::Outcome outcome =
        receiver.fetch(url.host(QUrl::FullyEncoded), quint16(url.port(21)), user, password,
                       folder, fileName, target);
    if (outcome == FtpReceiver::Outcome::Complete)
        return NoError;
    qCDebug(lcNetwork) << "curr ftp error=" << receiver.errorString();
    setFailureReason(FailureReason::fetchFailed(outcome == FtpReceiver::Outcome::FileError,
                                                downloadPath, 0, receiver.errorString()));
    return ConnectionError;
}

void DownloadUrlCommand::receiverReadProgress(qint64 curr, qint64 total)
{
    curr = qMax<qint64>(curr, 0);
    total = qMax<qint64>(total, 0);
    if (progressThrottle.shouldReport(curr, total))
        Q_EMIT processing(commandId, qulonglong(curr), qulonglong(total), getElapsedMs());
}

void DownloadUrlCommand::receiverRequestFinished(CommandResult result)
{
    qCDebug(lcNetwork) << "download url finished:" << result;
    report(result);
}
