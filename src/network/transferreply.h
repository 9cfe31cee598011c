#pragma once

#include <QByteArray>
#include <QtGlobal>

// The success replies of the transfers' control dialogues.
//
//   "ready\n" <port>                      a data port for this transfer (blanks around
//                                         the number allowed; its low 16 bits count)
//   "done\n" <id> "\t" <filesystemName>   an upload stored under the new id; further
//                                         tab-separated fields are ignored
//
// Anything else is judged by the common error decoding.
class TransferReply final
{
public:
    static bool isReady(const QByteArray &reply) { return reply.startsWith("ready\n"); }
    static bool isDone(const QByteArray &reply) { return reply.startsWith("done\n"); }

    // The port of a "ready\n" reply; false if the reply carries no decimal number.
    static bool parseReadyPort(const QByteArray &reply, quint16 &port);
    // The id and file-system name of a "done\n" reply; false if there are fewer than
    // two fields or the id is not an unsigned decimal number.
    static bool parseDone(const QByteArray &reply, quint64 &id, QByteArray &filesystemName);
};
