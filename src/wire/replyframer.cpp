#include "replyframer.h"

#include "wire.h"

#include <initializer_list>
#include <utility>

namespace {

// Where the message after a "progress\n" one starts: two messages sent close together
// can arrive in one read, and the final one must not be lost behind a progress report.
// -1 when the buffer holds one message only.
qsizetype nextMessageStart(const QByteArray &read)
{
    qsizetype next = -1;
    for (const QByteArrayView word : {Wire::ProgressReply, Wire::DoneReply, Wire::ErrorReply}) {
        const qsizetype at = read.indexOf(word, Wire::ProgressReply.size());
        if (at >= 0 && (next < 0 || at < next))
            next = at;
    }
    return next;
}

} // namespace

ReplyFramer::ReplyFramer(Kind kind, Deadlines deadlines)
    : kind(kind), deadlines(deadlines), replyDeadline(deadlines.replyMs)
{
}

qsizetype ReplyFramer::judgeableLength(const QByteArray &buffer, Kind kind)
{
    if (kind == Kind::UrlUploadMessage) {
        if (!Wire::isProgress(buffer))
            return buffer.size();
        const qsizetype next = nextMessageStart(buffer);
        return next < 0 ? buffer.size() : next;
    }
    const QByteArrayView done = Wire::DoneReply;
    const QByteArrayView error = Wire::ErrorReply;
    const QByteArrayView ready = Wire::ReadyReply;
    for (const QByteArrayView word : {done, error, ready}) {
        if (buffer.size() < word.size() && word.startsWith(buffer))
            return 0;
    }
    if (buffer.startsWith(ready)) {
        // A port is digits with blanks around them; anything else ends it (the
        // next reply may follow it directly).
        for (qsizetype i = ready.size(); i < buffer.size(); ++i) {
            const char c = buffer.at(i);
            if (c == '\n')
                return i + 1;
            if (!(c >= '0' && c <= '9') && c != ' ' && c != '\t' && c != '\r')
                return i;
        }
        return 0;
    }
    const bool valueExpected = kind == Kind::ReplyWithValue;
    const QByteArrayView *word = buffer.startsWith(error) ? &error
                               : buffer.startsWith(done) && valueExpected ? &done
                               : nullptr;
    if (!word)
        return buffer.size();
    const qsizetype end = buffer.indexOf('\n', word->size());
    return end < 0 ? 0 : end + 1;
}

void ReplyFramer::feed(const QByteArray &bytes)
{
    buffer += bytes;
    if (!lineEnded && buffer.contains('\n')) {
        lineEnded = true;
        completionDeadline.setRemainingTime(deadlines.completionMs);
    }
}

ReplyFramer::State ReplyFramer::state() const
{
    if (length() > 0)
        return State::Complete;
    return kind != Kind::UrlUploadMessage && buffer.size() > MaxReplyBytes ? State::TooLong
                                                                          : State::NeedMore;
}

int ReplyFramer::msLeft() const
{
    const QDeadlineTimer &deadline = lineEnded ? completionDeadline : replyDeadline;
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

QByteArray ReplyFramer::takeReply()
{
    const qsizetype judged = length();
    QByteArray reply;
    if (judged == 0 || judged == buffer.size()) {
        reply = std::exchange(buffer, QByteArray());
    } else {
        reply = buffer.left(judged);
        buffer.remove(0, judged);
    }
    // The next reply's first line is counted afresh.
    lineEnded = false;
    feed(QByteArray());
    return reply;
}
