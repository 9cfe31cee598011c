#include "controlsession.h"

#include "downloadtransfer.h"
#include "serveroptions.h"
#include "storage.h"
#include "uploadtransfer.h"
#include "urlfetch.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTcpSocket>
#include <QUrl>

#include <cstdio>
#include <optional>

// How the end of a command's fields is recognised.
enum class FieldsEnd {
    AfterWord,     // nothing follows the command word
    LastTab,       // every field, the last included, ends with a TAB
    OneByteFlag,   // the last field is a single "0" or "1"
    Silence,       // the last field ends when the client falls silent
};

struct ControlSession::Command
{
    const char *word;
    int fields;
    FieldsEnd end;
};

namespace {
const ControlSession::Command commands[] = {
    {"refresh", 0, FieldsEnd::AfterWord},
    {"makedir", 2, FieldsEnd::Silence},
    {"deldir", 1, FieldsEnd::Silence},
    {"delfile", 1, FieldsEnd::Silence},
    {"movedir", 3, FieldsEnd::Silence},
    {"movefile", 3, FieldsEnd::Silence},
    {"setparams", 5, FieldsEnd::OneByteFlag},
    {"uploadfile", 8, FieldsEnd::LastTab},
    {"downloadfile", 1, FieldsEnd::Silence},
    {"uploadurl", 3, FieldsEnd::Silence},
};

// Requests carry at most a name, a description and an address; this is generous.
constexpr int MaxRequestSize = 1024 * 1024;

// An unsigned decimal number: digits only, no sign, no blanks.
bool parseNumber(const QByteArray &text, qint64 *value)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    *value = text.toLongLong();
    return true;
}

bool parseFlag(const QByteArray &text, bool *value)
{
    if (text != "0" && text != "1")
        return false;
    *value = text == "1";
    return true;
}

bool parseBase64(const QByteArray &text, QByteArray *value)
{
    const auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    *value = *decoded;
    return true;
}

// The position of the n-th TAB (1-based) in `text`, or -1.
int nthTab(const QByteArray &text, int n)
{
    int position = -1;
    for (int i = 0; i < n; ++i) {
        position = int(text.indexOf('\t', position + 1));
        if (position < 0)
            return -1;
    }
    return position;
}
}

ControlSession::ControlSession(QTcpSocket *socket, Storage &storage, const ServerOptions &options,
                               QNetworkAccessManager *network, QObject *parent)
    : QObject(parent)
    , socket(socket)
    , storage(storage)
    , options(options)
    , network(network)
{
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, &ControlSession::readRequest);
    // The session, and any transfer it runs, ends with the control connection.
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);

    quietTimer.setSingleShot(true);
    quietTimer.setInterval(options.requestQuietMs);
    connect(&quietTimer, &QTimer::timeout, this, [this] { evaluate(true); });
    requestTimer.setSingleShot(true);
    requestTimer.setInterval(options.requestTimeoutMs);
    connect(&requestTimer, &QTimer::timeout, this, [this] {
        if (!handled) {
            handled = true;
            sendError(ProtocolError::MalformedRequest);
        }
    });
    gapTimer.setSingleShot(true);
    connect(&gapTimer, &QTimer::timeout, this, &ControlSession::flushOutbox);

    if (!options.neverAnswer)
        requestTimer.start();
    readRequest();
}

void ControlSession::readRequest()
{
    const QByteArray bytes = socket->readAll();
    if (handled || options.neverAnswer)
        return;
    buffer += bytes;
    if (buffer.size() > MaxRequestSize) {
        handled = true;
        sendError(ProtocolError::MalformedRequest);
        return;
    }
    evaluate(false);
}

void ControlSession::evaluate(bool silent)
{
    if (handled)
        return;
    if (!command) {
        const int loginEnd = int(buffer.indexOf('\n'));
        const int passwordEnd = loginEnd < 0 ? -1 : int(buffer.indexOf('\n', loginEnd + 1));
        const int wordEnd = passwordEnd < 0 ? -1 : int(buffer.indexOf('\n', passwordEnd + 1));
        if (wordEnd < 0)
            return;
        login = buffer.left(loginEnd);
        const QByteArray password = buffer.mid(loginEnd + 1, passwordEnd - loginEnd - 1);
        const QByteArray word = buffer.mid(passwordEnd + 1, wordEnd - passwordEnd - 1);
        headerLength = wordEnd + 1;
        if (options.verbose)
            std::fprintf(stderr, "request %s from %s\n", word.constData(), login.constData());
        switch (storage.authenticate(login, password)) {
        case Storage::Auth::UnknownLogin:
            handled = true;
            sendError(ProtocolError::UnknownLogin);
            return;
        case Storage::Auth::WrongPassword:
            handled = true;
            sendError(ProtocolError::WrongPassword);
            return;
        case Storage::Auth::Ok:
            break;
        }
        for (const Command &candidate : commands) {
            if (word == candidate.word)
                command = &candidate;
        }
        if (!command) {
            handled = true;
            sendError(ProtocolError::UnknownCommand);
            return;
        }
    }

    const QByteArray rest = buffer.mid(headerLength);
    QList<QByteArray> fields;
    switch (command->end) {
    case FieldsEnd::AfterWord:
        break;
    case FieldsEnd::LastTab: {
        const int end = nthTab(rest, command->fields);
        if (end < 0)
            return;
        fields = rest.left(end).split('\t');
        break;
    }
    case FieldsEnd::OneByteFlag:
    case FieldsEnd::Silence: {
        const int lastSeparator = nthTab(rest, command->fields - 1);
        if (command->fields > 1 && lastSeparator < 0)
            return;
        const bool flagHere = command->end == FieldsEnd::OneByteFlag && rest.size() > lastSeparator + 1;
        if (!flagHere && !silent) {
            quietTimer.start();
            return;
        }
        fields = rest.split('\t');
        break;
    }
    }
    handled = true;
    quietTimer.stop();
    requestTimer.stop();
    if (fields.size() != command->fields) {
        sendError(ProtocolError::MalformedRequest);
        return;
    }
    handle(fields);
}

void ControlSession::handle(const QList<QByteArray> &fields)
{
    const QByteArray word = command->word;
    if (word == "refresh")
        refresh();
    else if (word == "makedir")
        makeDir(fields);
    else if (word == "deldir" || word == "delfile")
        deleteItem(fields, word == "deldir");
    else if (word == "movedir" || word == "movefile")
        moveItem(fields, word == "movedir");
    else if (word == "setparams")
        setParams(fields);
    else if (word == "uploadfile")
        uploadFile(fields);
    else if (word == "downloadfile")
        downloadFile(fields);
    else if (word == "uploadurl")
        uploadUrl(fields);
}

bool ControlSession::findItem(const QByteArray &idField, bool isDir, qint64 *id)
{
    if (!parseNumber(idField, id)) {
        sendError(ProtocolError::MalformedRequest);
        return false;
    }
    const auto found = *id == 0 ? std::nullopt : storage.item(login, *id);
    if (!found || found->isDir != isDir) {
        sendError(ProtocolError::NoSuchItem);
        return false;
    }
    return true;
}

bool ControlSession::checkPlace(const QByteArray &parentField, const QByteArray &name, qint64 exceptId,
                                qint64 *parent)
{
    if (!parseNumber(parentField, parent)) {
        sendError(ProtocolError::MalformedRequest);
        return false;
    }
    if (!storage.isFolder(login, *parent)) {
        sendError(ProtocolError::NoSuchItem);
        return false;
    }
    if (exceptId != 0 && storage.isWithin(login, *parent, exceptId)) {
        sendError(ProtocolError::MoveIntoOwnSubtree);
        return false;
    }
    if (!Storage::isValidName(name)) {
        sendError(ProtocolError::InvalidName);
        return false;
    }
    if (storage.nameTaken(login, *parent, name, exceptId)) {
        sendError(ProtocolError::NameTaken);
        return false;
    }
    return true;
}

void ControlSession::refresh()
{
    // One line per item, 11 TAB-separated fields: id, folder flag, name, parent id,
    // size, date, description (Base64), searchable, password set, file-system name,
    // available.
    QByteArray list = "filelist\n";
    for (const Storage::Item &item : storage.listItems(login)) {
        list += QByteArray::number(item.id) + '\t' + (item.isDir ? "1" : "0") + '\t' + item.name + '\t'
                + QByteArray::number(item.parent) + '\t' + QByteArray::number(item.isDir ? 0 : item.size) + '\t'
                + QByteArray::number(item.date) + '\t' + item.description.toBase64() + '\t'
                + (item.searchable ? "1" : "0") + '\t' + (item.password.isEmpty() ? "0" : "1") + '\t'
                + (item.isDir ? QByteArray() : item.fsName) + '\t' + (item.isDir || item.available ? "1" : "0")
                + '\n';
    }
    sendList(list);
}

void ControlSession::sendList(const QByteArray &list)
{
    if (options.listPieceSize <= 0) {
        sendFinal(list);
        return;
    }
    // Fault injection: the list in pieces with pauses, as a slow network delivers it.
    socket->write(list.left(options.listPieceSize));
    const QByteArray remaining = list.mid(options.listPieceSize);
    if (remaining.isEmpty()) {
        socket->disconnectFromHost();
        return;
    }
    QTimer::singleShot(options.listPauseMs, this, [this, remaining] { sendList(remaining); });
}

void ControlSession::makeDir(const QList<QByteArray> &fields)
{
    qint64 parent = 0;
    if (!checkPlace(fields[0], fields[1], 0, &parent))
        return;
    Storage::Item item;
    item.isDir = true;
    item.name = fields[1];
    item.parent = parent;
    item.date = QDateTime::currentSecsSinceEpoch();
    const qint64 id = storage.insertItem(login, item);
    if (id == 0)
        sendError(ProtocolError::StorageFailure);
    else
        sendFinal("done\n" + QByteArray::number(id));
}

void ControlSession::deleteItem(const QList<QByteArray> &fields, bool isDir)
{
    qint64 id = 0;
    if (!findItem(fields[0], isDir, &id))
        return;
    if (storage.deleteTree(login, id))
        sendFinal("done\n");
    else
        sendError(ProtocolError::StorageFailure);
}

void ControlSession::moveItem(const QList<QByteArray> &fields, bool isDir)
{
    qint64 id = 0;
    qint64 parent = 0;
    if (!findItem(fields[0], isDir, &id) || !checkPlace(fields[1], fields[2], id, &parent))
        return;
    if (storage.moveItem(login, id, parent, fields[2]))
        sendFinal("done\n");
    else
        sendError(ProtocolError::StorageFailure);
}

void ControlSession::setParams(const QList<QByteArray> &fields)
{
    qint64 id = 0;
    QByteArray description;
    bool searchable = false;
    bool passwordChanged = false;
    if (!parseBase64(fields[1], &description) || !parseFlag(fields[2], &searchable)
        || !parseFlag(fields[4], &passwordChanged)) {
        sendError(ProtocolError::MalformedRequest);
        return;
    }
    if (!findItem(fields[0], false, &id))
        return;
    const std::optional<QByteArray> password = passwordChanged ? std::optional<QByteArray>(fields[3]) : std::nullopt;
    if (storage.setParams(login, id, description, searchable, password))
        sendFinal("done\n");
    else
        sendError(ProtocolError::StorageFailure);
}

void ControlSession::uploadFile(const QList<QByteArray> &fields)
{
    // digest, name, image format, description, searchable, password, size, folder
    UploadTransfer::Announcement announcement;
    announcement.digest = fields[0];
    announcement.name = fields[1];
    announcement.password = fields[5];
    const bool digestOk = fields[0].size() == 32 && QByteArray::fromHex(fields[0]).toHex() == fields[0].toLower();
    if (!digestOk || fields[2].isEmpty() || !parseBase64(fields[3], &announcement.description)
        || !parseFlag(fields[4], &announcement.searchable) || !parseNumber(fields[6], &announcement.size)) {
        sendError(ProtocolError::MalformedRequest);
        return;
    }
    if (!checkPlace(fields[7], announcement.name, 0, &announcement.parent))
        return;
    auto *transfer = new UploadTransfer(storage, options, login, announcement, socket->localAddress(), this);
    connect(transfer, &UploadTransfer::message, this, &ControlSession::sendMessage);
    connect(transfer, &UploadTransfer::finished, this, &ControlSession::sendFinal);
    transfer->start();
}

void ControlSession::downloadFile(const QList<QByteArray> &fields)
{
    qint64 id = 0;
    if (!findItem(fields[0], false, &id))
        return;
    const auto item = storage.item(login, id);
    const QString contentPath = storage.contentPath(item->fsName);
    if (!item->available || item->fsName.isEmpty() || !QFileInfo(contentPath).isFile()) {
        sendError(ProtocolError::FileNotAvailable);
        return;
    }
    auto *transfer = new DownloadTransfer(contentPath, options, this);
    const quint16 port = transfer->start(socket->localAddress());
    if (port == 0) {
        delete transfer;
        sendError(ProtocolError::StorageFailure);
        return;
    }
    // The client holds the control connection open while it fetches; it closes
    // when the transfer is over.
    connect(transfer, &DownloadTransfer::finished, socket, &QTcpSocket::disconnectFromHost);
    sendMessage("ready\n" + QByteArray::number(port) + '\n');
}

void ControlSession::uploadUrl(const QList<QByteArray> &fields)
{
    qint64 parent = 0;
    if (!checkPlace(fields[0], fields[1], 0, &parent))
        return;
    const QUrl url(QString::fromLatin1(fields[2]), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        || url.host().isEmpty()) {
        sendError(ProtocolError::FetchFailed);
        return;
    }
    auto *fetch = new UrlFetch(storage, options, network, login, parent, fields[1], url, this);
    connect(fetch, &UrlFetch::message, this, &ControlSession::sendMessage);
    connect(fetch, &UrlFetch::finished, this, &ControlSession::sendFinal);
    fetch->start();
}

void ControlSession::sendMessage(const QByteArray &message)
{
    outbox.append(message);
    flushOutbox();
}

void ControlSession::sendFinal(const QByteArray &message)
{
    closeWhenSent = true;
    sendMessage(message);
}

void ControlSession::sendError(ProtocolError error)
{
    sendFinal("error\n" + QByteArray::number(int(error)));
}

void ControlSession::flushOutbox()
{
    // The client takes each read as one message: keep messages apart in time so
    // that two never reach it in one read.
    while (!outbox.isEmpty()) {
        if (sinceLastMessage.isValid() && sinceLastMessage.elapsed() < options.messageGapMs) {
            gapTimer.start(int(options.messageGapMs - sinceLastMessage.elapsed()));
            return;
        }
        socket->write(outbox.takeFirst());
        socket->flush();
        sinceLastMessage.start();
    }
    if (closeWhenSent)
        socket->disconnectFromHost();
}
