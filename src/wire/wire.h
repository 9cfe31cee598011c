#pragma once

// The bytes of the control protocol, in one place: what a request is, where a reply
// ends, what a reply says, and the small texts that travel beside it (the file list's
// lines, the public download address, the payload of a drag between the panes).
// Plain functions of bytes and text: no sockets, no objects with signals, nothing that
// needs an application object, so tests and fuzz targets call them directly.
//
//   client -> server   <login>\n<password>\n<command word>\n<command's own fields>
//   server -> client   <success word>\n...   or   error\n<decimal code>
//
// Text becomes bytes one character per byte in Latin-1; a character outside Latin-1 is
// sent as "?" (the text checks refuse such text before a request is built).

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <limits>

namespace Wire {

// --- Words -----------------------------------------------------------------------

// The command words, the third line of every request.
inline constexpr char RefreshWord[] = "refresh";
inline constexpr char UploadFileWord[] = "uploadfile";
inline constexpr char DownloadFileWord[] = "downloadfile";
inline constexpr char MakeDirWord[] = "makedir";
inline constexpr char MoveDirWord[] = "movedir";
inline constexpr char MoveFileWord[] = "movefile";
inline constexpr char SetParamsWord[] = "setparams";
inline constexpr char DeleteDirWord[] = "deldir";
inline constexpr char DeleteFileWord[] = "delfile";
inline constexpr char UploadUrlWord[] = "uploadurl";

// The first line of the server's replies, line feed included.
inline constexpr QByteArrayView DoneReply("done\n");
inline constexpr QByteArrayView ErrorReply("error\n");
inline constexpr QByteArrayView ReadyReply("ready\n");
inline constexpr QByteArrayView ListReply("filelist\n");
inline constexpr QByteArrayView ProgressReply("progress\n");

inline bool isDone(QByteArrayView reply) { return reply.startsWith(DoneReply); }
inline bool isError(QByteArrayView reply) { return reply.startsWith(ErrorReply); }
inline bool isReady(QByteArrayView reply) { return reply.startsWith(ReadyReply); }
inline bool isList(QByteArrayView reply) { return reply.startsWith(ListReply); }
inline bool isProgress(QByteArrayView reply) { return reply.startsWith(ProgressReply); }

// --- Requests --------------------------------------------------------------------

// Latin-1 bytes of protocol text; a character outside Latin-1 becomes "?" (one "?"
// also for a character beyond the BMP).
QByteArray toProtocolBytes(QStringView text);

// "<login>\n<password>\n<word>\n", the opening of every request.
void appendRequestPrefix(QByteArray &request, const QString &login, const QString &password,
                         const QString &word);

// A name or password as one field; false, and nothing appended, when it holds a TAB or
// line break (which would shift the server's fields) or a character outside Latin-1.
bool appendTextField(QByteArray &request, const QString &text);
// A server id; false for id 0, which names no item the server knows.
bool appendItemId(QByteArray &request, quint64 id);
// The server id of the folder an item hangs in; false while that folder is not on
// the server.
bool appendParentId(QByteArray &request, bool parentOnServer, quint64 parentId);

// Where an item is and under what name: id TAB parent id TAB name (movedir, movefile).
struct ItemPlace {
    quint64 id = 0;
    bool parentOnServer = false;
    quint64 parentId = 0;
    QString name;
};
bool appendPlaceFields(QByteArray &request, const ItemPlace &place);
// parent id TAB name (makedir).
bool appendNewFolderFields(QByteArray &request, bool parentOnServer, quint64 parentId,
                           const QString &name);

// id TAB base64(description) TAB searchable TAB password TAB password changed
// (setparams). The description travels Base64-encoded, so TABs and line breaks in it
// are harmless; only characters that Latin-1 cannot carry are refused.
struct ItemParams {
    quint64 id = 0;
    QString description;
    bool searchable = false;
    QString password;
    bool passwordModify = false;
};
bool appendParamsFields(QByteArray &request, const ItemParams &params);

// The fields of an upload, each followed by a TAB: digest (hex), name, image format,
// base64(description), searchable, password, size, parent id. The caller has checked
// that the name and password hold no TAB or line feed.
struct UploadFields {
    QByteArray digest;
    QString name;
    QByteArray format;
    QString description;
    bool searchable = false;
    QString password;
    qint64 size = 0;
    quint64 parentId = 0;
};
void appendUploadFields(QByteArray &request, const UploadFields &fields);

// parent id TAB name TAB address (uploadurl). The caller has checked name and address.
void appendUploadUrlFields(QByteArray &request, quint64 parentId, const QString &name,
                           const QString &address);

// --- Replies ---------------------------------------------------------------------

// What an "error\n<code>" reply says. The codes 1 to 3 are fixed by the protocol.
enum class ServerError { Unreadable, Login, Password, Command, Other };
// Decodes a reply that is not the expected success reply; `code` gets the server's
// code when there is one.
ServerError decodeError(const QByteArray &reply, int *code = nullptr);

// The rest of the line after "done\n" (the value of makedir's reply); bytes behind
// that line are not part of the reply.
QByteArray doneValue(const QByteArray &reply);
// The id of a new folder in makedir's value; false unless it is a positive 32-bit
// decimal number (blanks around it allowed).
bool parseNewFolderId(const QByteArray &value, quint64 &id);

// The port of a "ready\n<port>" reply (blanks around the number allowed; its low 16
// bits count); false if the reply carries no decimal number.
bool parseReadyPort(const QByteArray &reply, quint16 &port);
// "done\n<id>\t<filesystemName>[\t...]", an upload stored under the new id; false if
// there are fewer than two fields or the id is not an unsigned decimal number.
bool parseUploadDone(const QByteArray &reply, quint64 &id, QByteArray &filesystemName);

// The messages of a URL upload:
//   "progress\n" <curr> "\t" <total> ["\t" ...]   the numbers stand exactly as digits
//   "done\n" <id> "\t" <size> "\t" <filesystemName> ["\t" ...]   each field trimmed
// False, and the progress message is to be ignored, unless it carries two unsigned
// decimal numbers with nothing around them ("1024\t4096\n" is ignored, as is "1024").
bool parseProgress(const QByteArray &message, quint64 &curr, quint64 &total);
// False unless there are three fields and the id and size are unsigned decimal numbers.
bool parseUrlUploadDone(const QByteArray &message, quint64 &id, quint64 &size,
                        QByteArray &filesystemName);

// The list text of a "filelist\n" reply: Latin-1, up to its first zero byte; false
// (and `list` untouched) when the reply is not a list.
bool parseList(const QByteArray &reply, QString &list);

// --- Numbers ---------------------------------------------------------------------
// Every number the client reads from protocol bytes goes through readDigits(); the
// forms the protocol allows around the digits have a name each.

// Plain decimal digits: at least one, nothing else (no blank, no sign), value at most
// `max`. Leading zeros are allowed.
bool readDigits(QByteArrayView text, quint64 &value,
                quint64 max = std::numeric_limits<quint64>::max());
bool readDigits(QStringView text, quint64 &value,
                quint64 max = std::numeric_limits<quint64>::max());

// An error code: blanks (space, TAB, CR, VT, FF) before it and a sign allowed, nothing
// after the digits, the value fits 32 bits.
bool readErrorCode(QByteArrayView text, int &value);
// A value of the file list or of a drag payload: plain digits read directly (the
// list's numbers are, and a million lines make it worth it), anything else as the
// library reads it (blanks, a sign); 0 when unreadable or beyond the type's range.
quint64 readListNumber(QStringView text);
uint readListUInt(QStringView text);
int readListInt(QStringView text);
// A number of an HTTP range (Content-Range of a download's response): plain digits
// that fit 63 bits; -1 otherwise.
qint64 readRangeNumber(QByteArrayView text);
// A number of the range the server asks for on an upload's data connection: blanks
// around and a "+" allowed, as the library reads it; 0 when unreadable.
quint64 readRequestedRangeNumber(const QByteArray &text);

// --- The file list ---------------------------------------------------------------

// One item per "\n"-separated line, at least ListFieldCount "\t"-separated fields:
//   id  isDir  name  parentId  size  date(s since epoch, UTC)  base64(description)
//   searchable  (unused)  downloadSegment  available
inline constexpr int ListFieldCount = 11;

// Where a listed line hangs: what building the tree reads first of every line, before
// it reads the rest of the lines it keeps.
struct ListPlace {
    quint64 id = 0;
    bool isDir = false;
    quint64 parentId = 0;
};
// The values of one listed line; the texts point into the line.
struct ListLine : ListPlace {
    QStringView name;
    quint64 size = 0;
    uint date = 0;
    QStringView description; // Base64, as listed
    bool searchable = false;
    QStringView downloadSegment;
    bool available = false;
};
// False for a line of fewer than ListFieldCount fields (it lists nothing). Numbers
// read with readListNumber() and friends; isDir, searchable and available are
// "not 0".
bool parseListLine(QStringView line, ListLine &values);
// Only where the line hangs; false as above.
bool parseListPlace(QStringView line, ListPlace &place);
// The description of a listed line, decoded (Base64 of Latin-1 text).
QString decodeDescription(QStringView base64);

// Host of the service's public download addresses.
inline constexpr char DownloadHost[] = "dl.kelvarhold.net";
// The public download address of a file: the segment from the server, then the name,
// byte by byte in Latin-1, percent-encoded.
QString downloadAddress(QStringView segment, const QString &name);

// --- Drags between the panes -----------------------------------------------------

// A remote item dragged: "/getfile/<server id>/<self id>" or "/getdir/...", one URL
// of a "text/uri-list" payload each.
inline constexpr char DragPayloadType[] = "text/uri-list";
struct DragEntry {
    enum Kind {
        Unreadable, // fewer than two pieces: names nothing
        Other,      // not a remote item (a local file, a web address)
        File,
        Folder
    };
    Kind kind = Unreadable;
    quint64 id = 0;     // server id; 0 when unreadable
    quint64 selfId = 0; // the dragged item's own number; 0 when missing or unreadable
};
QString encodeDragEntry(bool isDir, quint64 id, quint64 selfId);
// `url` is the dropped URL's text (QUrl::toString()).
DragEntry decodeDragEntry(const QString &url);

} // namespace Wire
