// The bytes of a control connection, framed into replies however they were split into
// reads, and every reply read by the parsers. The first byte picks the framing and the
// size of the reads. Whatever the bytes:
//  - no byte is lost, doubled or reordered between the replies taken;
//  - a reply is complete within the bytes it was given, and only a reply that cannot
//    be judged grows beyond the bound;
//  - the parsers accept only replies that start with their word.
#include "wire/replyframer.h"
#include "wire/wire.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void parse(const QByteArray &reply)
{
    quint16 port = 0;
    check(!Wire::parseReadyPort(reply, port) || Wire::isReady(reply));
    quint64 id = 0;
    quint64 size = 0;
    QByteArray name;
    check(!Wire::parseUploadDone(reply, id, name) || Wire::isDone(reply));
    check(!Wire::parseUrlUploadDone(reply, id, size, name) || Wire::isDone(reply));
    check(!Wire::parseProgress(reply, id, size) || Wire::isProgress(reply));
    const QByteArray value = Wire::doneValue(reply);
    check(!value.contains('\n'));
    check(!Wire::parseNewFolderId(value, id) || (id > 0 && id <= 0x7fffffff));
    QString list;
    check(!Wire::parseList(reply, list) || (Wire::isList(reply) && !list.contains(QChar(0))));
    int code = 0;
    check(Wire::decodeError(reply, &code) == Wire::ServerError::Unreadable || Wire::isError(reply));
    Wire::ListLine line;
    const QString text = QString::fromLatin1(reply);
    if (Wire::parseListLine(text, line))
        check(text.count(QLatin1Char('\t')) >= Wire::ListFieldCount - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const auto kind = ReplyFramer::Kind(data[0] % 3);
    const qsizetype readSize = 1 + (data[0] >> 2);
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    ReplyFramer framer(kind, {0, 0});
    QByteArray taken;
    for (qsizetype at = 0; at < bytes.size(); at += readSize) {
        framer.feed(bytes.mid(at, readSize));
        for (;;) {
            const ReplyFramer::State state = framer.state();
            check((state == ReplyFramer::State::Complete) == (framer.length() > 0));
            check(framer.length() <= framer.bytes().size());
            if (state == ReplyFramer::State::TooLong)
                check(framer.bytes().size() > ReplyFramer::MaxReplyBytes);
            if (state != ReplyFramer::State::Complete)
                break;
            const qsizetype length = framer.length();
            const QByteArray reply = framer.takeReply();
            check(reply.size() == length && !reply.isEmpty());
            parse(reply);
            taken += reply;
        }
    }
    // The peer closed: what is left is judged as it is.
    const QByteArray rest = framer.takeReply();
    parse(rest);
    taken += rest;
    check(taken == bytes && framer.isEmpty());
    return 0;
}
