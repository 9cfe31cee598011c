#pragma once

#include <QByteArray>
#include <QDeadlineTimer>

// Collects the bytes of a control connection as they arrive and says how much of them
// can be judged as one reply. A reply may arrive in pieces: judging the first piece
// alone would report a change the server has already made as failed, or dial a port
// cut short. So:
//
//   - a strict prefix of "done\n", "error\n" or "ready\n" cannot be judged yet;
//   - "error\n<code>" (and "done\n<value>" where a value follows) ends with the line
//     feed after its value; "ready\n<port>" with a line feed or a character that
//     cannot belong to the port (the next reply may follow it directly);
//   - a URL upload's "progress\n..." message ends where the next message word starts;
//   - a reply of any other form is judged whole.
//
// The waits are the caller's; the framer keeps their deadlines, given as data: the
// reply's time limit runs from the framer's creation while the first line is
// incomplete, then the shorter completion limit from that line's end, so a server
// that trickles bytes cannot hold the command. The bytes kept are bounded.
class ReplyFramer final
{
public:
    enum class Kind {
        Reply,           // the single reply of a command
        ReplyWithValue,  // the same, where "done\n" carries a value on its line
        UrlUploadMessage // the messages of a URL upload, one after the other
    };
    enum class State {
        NeedMore, // nothing can be judged yet: wait (see msLeft()) or judge what came
        Complete, // the first `length()` bytes are a reply
        TooLong   // more than MaxReplyBytes and still not complete: not a reply
    };
    // Time limits, in milliseconds (the URL upload's messages have none here).
    struct Deadlines {
        int replyMs;      // for the first line
        int completionMs; // for the rest, once the first line has ended
    };

    // A reply is a word and one short line; a server that sends more than this
    // without completing it is not answering.
    static constexpr qsizetype MaxReplyBytes = 64 * 1024;

    ReplyFramer(Kind kind, Deadlines deadlines);

    // The length of the first reply in `buffer` that can be judged, 0 while none can.
    static qsizetype judgeableLength(const QByteArray &buffer, Kind kind);

    // Appends bytes that arrived.
    void feed(const QByteArray &bytes);
    State state() const;
    // The length of the first complete reply; 0 while there is none.
    qsizetype length() const { return judgeableLength(buffer, kind); }
    // Whether the first line of the reply has ended (the completion limit runs).
    bool firstLineEnded() const { return lineEnded; }
    // How long to wait for more bytes: what is left of the current limit, 0 once it
    // has expired.
    int msLeft() const;
    // How many bytes to read at most next, so that the bytes kept stay bounded.
    qsizetype room() const { return qMax<qsizetype>(0, MaxReplyBytes + 1 - buffer.size()); }

    // Everything collected so far.
    const QByteArray &bytes() const { return buffer; }
    bool isEmpty() const { return buffer.isEmpty(); }
    // Removes and returns the first complete reply, or everything collected when
    // there is none (the peer closed or the limit expired: what came is judged).
    QByteArray takeReply();

private:
    Kind kind;
    Deadlines deadlines;
    QByteArray buffer;
    bool lineEnded = false;
    QDeadlineTimer replyDeadline;
    QDeadlineTimer completionDeadline;
};
