#include "wire.h"

#include "protocoltextcheck.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <array>

namespace Wire {

// --- Requests --------------------------------------------------------------------

QByteArray toProtocolBytes(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() <= 0xFF) {
            bytes.append(char(c.unicode()));
            continue;
        }
        // One "?" per character, also for a character beyond the BMP (two UTF-16 units).
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        bytes.append('?');
    }
    return bytes;
}

void appendRequestPrefix(QByteArray &request, const QString &login, const QString &password,
                         const QString &word)
{
    request.append(toProtocolBytes(login)).append('\n');
    request.append(toProtocolBytes(password)).append('\n');
    request.append(toProtocolBytes(word)).append('\n');
}

bool appendTextField(QByteArray &request, const QString &text)
{
    if (!ProtocolTextCheck::problem(text, QString()).isEmpty())
        return false;
    request += toProtocolBytes(text);
    return true;
}

bool appendItemId(QByteArray &request, quint64 id)
{
    if (id == 0)
        return false;
    request += QByteArray::number(id);
    return true;
}

bool appendParentId(QByteArray &request, bool parentOnServer, quint64 parentId)
{
    if (!parentOnServer)
        return false;
    request += QByteArray::number(parentId);
    return true;
}

bool appendPlaceFields(QByteArray &request, const ItemPlace &place)
{
    if (!appendItemId(request, place.id))
        return false;
    request += '\t';
    return appendNewFolderFields(request, place.parentOnServer, place.parentId, place.name);
}

bool appendNewFolderFields(QByteArray &request, bool parentOnServer, quint64 parentId,
                           const QString &name)
{
    if (!appendParentId(request, parentOnServer, parentId))
        return false;
    request += '\t';
    return appendTextField(request, name);
}

bool appendParamsFields(QByteArray &request, const ItemParams &params)
{
    if (!ProtocolTextCheck::problem(params.description, QString(), ProtocolTextCheck::EncodedField).isEmpty()
            || !appendItemId(request, params.id))
        return false;
    request += '\t' + toProtocolBytes(params.description).toBase64()
            + '\t' + (params.searchable ? '1' : '0') + '\t';
    if (!appendTextField(request, params.password))
        return false;
    request += '\t';
    request += params.passwordModify ? '1' : '0';
    return true;
}

void appendUploadFields(QByteArray &request, const UploadFields &fields)
{
    const auto field = [&request](const QByteArray &value) { request += value + '\t'; };
    field(fields.digest.toHex());
    field(toProtocolBytes(fields.name));
    field(fields.format);
    field(toProtocolBytes(fields.description).toBase64());
    field(fields.searchable ? "1" : "0");
    field(toProtocolBytes(fields.password));
    field(QByteArray::number(fields.size));
    field(QByteArray::number(fields.parentId));
}

void appendUploadUrlFields(QByteArray &request, quint64 parentId, const QString &name,
                           const QString &address)
{
    request += QByteArray::number(parentId) + '\t' + toProtocolBytes(name)
        + '\t' + toProtocolBytes(address);
}

// --- Replies ---------------------------------------------------------------------

ServerError decodeError(const QByteArray &reply, int *code)
{
    if (!isError(reply))
        return ServerError::Unreadable;
    const QList<QByteArray> pieces = reply.split('\n');
    int value = 0;
    if (pieces.size() < 2 || !readErrorCode(pieces.at(1), value))
        return ServerError::Unreadable;
    if (code)
        *code = value;
    switch (value) {
    case 1: return ServerError::Login;
    case 2: return ServerError::Password;
    case 3: return ServerError::Command;
    default: return ServerError::Other;
    }
}

QByteArray doneValue(const QByteArray &reply)
{
    const qsizetype start = DoneReply.size();
    const qsizetype lineEnd = reply.indexOf('\n', start);
    return reply.mid(start, lineEnd < 0 ? -1 : lineEnd - start);
}

namespace {
// Blanks around the number and a sign allowed, as the library reads an int: the
// form of a port and of a new folder's id.
bool readBlankedInt(const QByteArray &text, int &value)
{
    const QByteArray number = text.trimmed();
    quint64 digits = 0;
    if (readDigits(number, digits, quint64(std::numeric_limits<int>::max()))) {
        value = int(digits);
        return true;
    }
    bool ok = false;
    const int read = number.toInt(&ok, 10);
    if (ok)
        value = read;
    return ok;
}
} // namespace

bool parseNewFolderId(const QByteArray &value, quint64 &id)
{
    int newId = 0;
    if (!readBlankedInt(value, newId) || newId <= 0)
        return false;
    id = quint64(newId);
    return true;
}

bool parseReadyPort(const QByteArray &reply, quint16 &port)
{
    int number = 0;
    if (!isReady(reply) || !readBlankedInt(reply.mid(ReadyReply.size()), number))
        return false;
    port = quint16(number & 0xffff);
    return true;
}

bool parseUploadDone(const QByteArray &reply, quint64 &id, QByteArray &filesystemName)
{
    if (!isDone(reply))
        return false;
    const QList<QByteArray> fields = reply.mid(DoneReply.size()).split('\t');
    if (fields.size() < 2)
        return false;
    const QByteArray number = fields.at(0).trimmed();
    // Server ids are unsigned 64-bit; a sign is not part of one.
    if (number.startsWith('-') || number.startsWith('+'))
        return false;
    quint64 value = 0;
    if (!readDigits(number, value)) {
        // Whatever else the library reads as a number.
        bool ok = false;
        value = number.toULongLong(&ok, 10);
        if (!ok)
            return false;
    }
    id = value;
    filesystemName = fields.at(1).trimmed();
    return true;
}

bool parseProgress(const QByteArray &message, quint64 &curr, quint64 &total)
{
    if (!isProgress(message))
        return false;
    const QList<QByteArray> parts = message.mid(ProgressReply.size()).split('\t');
    quint64 first = 0;
    quint64 second = 0;
    if (parts.size() < 2 || !readDigits(parts.at(0), first) || !readDigits(parts.at(1), second))
        return false;
    curr = first;
    total = second;
    return true;
}

bool parseUrlUploadDone(const QByteArray &message, quint64 &id, quint64 &size,
                        QByteArray &filesystemName)
{
    if (!isDone(message))
        return false;
    const QList<QByteArray> parts = message.mid(DoneReply.size()).split('\t');
    quint64 newId = 0;
    quint64 newSize = 0;
    if (parts.size() < 3 || !readDigits(parts.at(0).trimmed(), newId)
        || !readDigits(parts.at(1).trimmed(), newSize))
        return false;
    id = newId;
    size = newSize;
    filesystemName = parts.at(2).trimmed();
    return true;
}

bool parseList(const QByteArray &reply, QString &list)
{
    if (!isList(reply))
        return false;
    QByteArray text = reply.mid(ListReply.size());
    const auto zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    list = QString::fromLatin1(text);
    return true;
}

// --- Numbers ---------------------------------------------------------------------

namespace {

// Up to 19 digits fit 64 bits whatever they are: checked only beyond that, since a
// million list lines pass here.
constexpr qsizetype UncheckedDigits = 19;

template<class Char>
bool readDigitsOf(const Char *text, qsizetype size, quint64 &value, quint64 max)
{
    if (size == 0)
        return false;
    quint64 result = 0;
    qsizetype i = 0;
    for (; i < size && i < UncheckedDigits; ++i) {
        const unsigned digit = unsigned(text[i]) - unsigned('0');
        if (digit > 9)
            return false;
        result = result * 10 + digit;
    }
    for (; i < size; ++i) {
        const unsigned digit = unsigned(text[i]) - unsigned('0');
        if (digit > 9 || result > (std::numeric_limits<quint64>::max() - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    if (result > max)
        return false;
    value = result;
    return true;
}

} // namespace

bool readDigits(QByteArrayView text, quint64 &value, quint64 max)
{
    return readDigitsOf(reinterpret_cast<const uchar *>(text.data()), text.size(), value, max);
}

bool readDigits(QStringView text, quint64 &value, quint64 max)
{
    return readDigitsOf(text.utf16(), text.size(), value, max);
}

bool readErrorCode(QByteArrayView text, int &value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\v'
                     || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const quint64 intMax = quint64(std::numeric_limits<int>::max());
    quint64 magnitude = 0;
    if (!readDigits(text.sliced(i), magnitude, negative ? intMax + 1 : intMax))
        return false;
    value = negative ? int(-qint64(magnitude)) : int(magnitude);
    return true;
}

quint64 readListNumber(QStringView text)
{
    quint64 value;
    return readDigits(text, value) ? value : text.toULongLong();
}

uint readListUInt(QStringView text)
{
    quint64 value;
    if (!readDigits(text, value))
        return text.toUInt();
    return value <= std::numeric_limits<uint>::max() ? uint(value) : 0;
}

int readListInt(QStringView text)
{
    quint64 value;
    if (!readDigits(text, value))
        return text.toInt();
    return value <= quint64(std::numeric_limits<int>::max()) ? int(value) : 0;
}

qint64 readRangeNumber(QByteArrayView text)
{
    quint64 value = 0;
    return readDigits(text, value, quint64(std::numeric_limits<qint64>::max())) ? qint64(value) : -1;
}

quint64 readRequestedRangeNumber(const QByteArray &text)
{
    quint64 value = 0;
    if (readDigits(text, value))
        return value;
    bool ok = false;
    value = text.toULongLong(&ok, 10);
    return ok ? value : 0;
}

// --- The file list ---------------------------------------------------------------

namespace {

// The first fields of a line, split at tabs as QStringView::split would; answers how
// many there are, at most ListFieldCount.
int splitFields(QStringView line, QStringView (&fields)[ListFieldCount])
{
    int count = 0;
    const char16_t *start = line.utf16();
    const char16_t *const end = start + line.size();
    for (;;) {
        // std::find over a plain array is unrolled: the search is most of the cost.
        const char16_t *tab = std::find(start, end, u'\t');
        fields[count++] = QStringView(start, tab);
        if (tab == end || count == ListFieldCount)
            return count;
        start = tab + 1;
    }
}

// Splits the line into `fields` and reads where it hangs; false for a line of fewer
// than ListFieldCount fields.
bool readListPlace(QStringView line, QStringView (&fields)[ListFieldCount], ListPlace &place)
{
    if (splitFields(line, fields) < ListFieldCount)
        return false;
    place.id = readListNumber(fields[0]);
    place.isDir = readListInt(fields[1]) != 0;
    place.parentId = readListNumber(fields[3]);
    return true;
}

} // namespace

bool parseListPlace(QStringView line, ListPlace &place)
{
    QStringView fields[ListFieldCount];
    return readListPlace(line, fields, place);
}

bool parseListLine(QStringView line, ListLine &values)
{
    QStringView fields[ListFieldCount];
    if (!readListPlace(line, fields, values))
        return false;
    values.name = fields[2];
    values.size = readListNumber(fields[4]);
    values.date = readListUInt(fields[5]);
    values.description = fields[6];
    values.searchable = readListInt(fields[7]) != 0;
    values.downloadSegment = fields[9];
    values.available = readListInt(fields[10]) != 0;
    return true;
}

QString decodeDescription(QStringView base64)
{
    return QString::fromLatin1(QByteArray::fromBase64(base64.toLatin1()));
}

QString downloadAddress(QStringView segment, const QString &name)
{
    // Written straight into one string of the exact length (a million of them stay in
    // the tree): the name as Latin-1 bytes, a character beyond Latin-1 becoming '?', and
    // every byte but letters, digits and "-._~" as %XX.
    static constexpr char Hex[] = "0123456789ABCDEF";
    const auto latin1 = [](QChar c) {
        return c.unicode() > 0xff ? uchar('?') : uchar(c.unicode());
    };
    // A table: two passes over every file name of the list ask it.
    static constexpr auto Unreserved = [] {
        std::array<bool, 256> table{};
        for (int byte = 0; byte < 256; ++byte) {
            table[byte] = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z')
                || (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_'
                || byte == '~';
        }
        return table;
    }();
    const auto unreserved = [](uchar byte) { return Unreserved[byte]; };
    const QLatin1String start("http://");
    const QLatin1String host(DownloadHost);
    const QLatin1String path("/dl/");
    qsizetype length = start.size() + host.size() + path.size() + segment.size() + 1;
    for (QChar c : name)
        length += unreserved(latin1(c)) ? 1 : 3;

    QString address(length, Qt::Uninitialized);
    QChar *out = address.data();
    for (QLatin1String part : {start, host, path}) {
        for (char c : part)
            *out++ = QLatin1Char(c);
    }
    out = std::copy(segment.begin(), segment.end(), out);
    *out++ = u'/';
    for (QChar c : name) {
        const uchar byte = latin1(c);
        if (unreserved(byte)) {
            *out++ = QLatin1Char(char(byte));
        } else {
            *out++ = u'%';
            *out++ = QLatin1Char(Hex[byte >> 4]);
            *out++ = QLatin1Char(Hex[byte & 0xf]);
        }
    }
    return address;
}

// --- Drags between the panes -----------------------------------------------------

namespace {
const QString FileWord = QStringLiteral("getfile");
const QString FolderWord = QStringLiteral("getdir");
} // namespace

QString encodeDragEntry(bool isDir, quint64 id, quint64 selfId)
{
    return QStringLiteral("/%1/%2/%3").arg(isDir ? FolderWord : FileWord).arg(id).arg(selfId);
}

DragEntry decodeDragEntry(const QString &url)
{
    const QStringList pieces = url.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    DragEntry entry;
    if (pieces.size() < 2)
        return entry;
    const bool isFolder = pieces.at(0) == FolderWord;
    if (!isFolder && pieces.at(0) != FileWord) {
        entry.kind = DragEntry::Other;
        return entry;
    }
    entry.kind = isFolder ? DragEntry::Folder : DragEntry::File;
    entry.id = readListNumber(pieces.at(1));
    entry.selfId = pieces.size() > 2 ? readListNumber(pieces.at(2)) : 0;
    return entry;
}

} // namespace Wire
