#pragma once

#include <QByteArray>
#include <QtGlobal>

// The messages the server sends while it fetches an address for a URL upload; each
// read of the control connection is one message.
//
//   "progress\n" <curr> "\t" <total> ["\t" ...]    bytes fetched so far and the total;
//                                                 the numbers stand exactly as digits
//   "done\n" <id> "\t" <size> "\t" <filesystemName> ["\t" ...]
//                                                 each field trimmed of white space
//   "error\n" <code>                              judged by the common error decoding
class UploadUrlMessage final
{
public:
    static bool isProgress(const QByteArray &message) { return message.startsWith("progress\n"); }
    static bool isDone(const QByteArray &message) { return message.startsWith("done\n"); }

    // False, and the message is to be ignored, unless it carries two unsigned decimal
    // numbers with nothing around them ("1024\t4096\n" is ignored, as is "1024").
    static bool parseProgress(const QByteArray &message, quint64 &curr, quint64 &total);
    // False unless there are three fields and the id and size are unsigned decimal
    // numbers (a server id carries no sign).
    static bool parseDone(const QByteArray &message, quint64 &id, quint64 &size,
                          QByteArray &filesystemName);
};
