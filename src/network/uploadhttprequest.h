#pragma once

#include <QByteArray>
#include <QtGlobal>

// The HTTP request the server sends over an upload's data connection, collected as
// it arrives, and the head of the answer to it.
//
//   server -> client   GET file HTTP/1.1\r\n
//                      Content-Range: 100-199\r\n        (optional; name in any case)
//                      \r\n
//   client -> server   HTTP/1.1 200 OK\r\n
//                      Connection: close\r\n
//                      Content-Type: application/octet-stream\r\n
//                      Content-Length: 100\r\n
//                      Content-Range: 100-199/1000\r\n
//                      \r\n
//                      <bytes 100..199 of the file>
//
// A request for anything but "file" is answered with notFoundResponse().
class UploadHttpRequest final
{
public:
    // A request whose head grows beyond this is not one we serve.
    static constexpr int MaxRequestSize = 65536;

    enum class State {
        Incomplete,  // wait for more bytes
        NotARequest, // no "GET" where the request should start: close without a reply
        Complete     // the head up to the empty line is in; call parseRequest()
    };

    // Appends bytes received on the data connection.
    State feed(const QByteArray &bytes);
    // Forgets everything, for the next data connection.
    void clear();

    // True if the collected request asks for "file"; the range of its last
    // "Content-Range" header (0 where absent or unreadable; a last byte below the
    // first counts as 0, "to the end").
    bool parseRequest(quint64 &firstByte, quint64 &lastByte) const;

    struct Answer {
        qint64 firstByte = 0;     // first byte of the file served
        qint64 contentLength = 0; // number of body bytes
        QByteArray header;        // status line and headers, up to the empty line
    };
    // What is served for a request of [firstByte, lastByte] from a file of fileSize bytes.
    static Answer answer(quint64 firstByte, quint64 lastByte, qint64 fileSize);
    static QByteArray notFoundResponse();

private:
    bool isInHttpRequest = false;
    QByteArray lastHttpRequest;
};
