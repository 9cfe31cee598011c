#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <curl/curl.h>

#include <functional>

// One blocking libcurl transfer on the calling thread: the easy handle (freed with
// this object), its error text, the options every transfer of the client shares
// (no signals, no proxy, the allowed protocols, the connect and stall limits), and
// the progress callback. That callback gives up the transfer once the thread has
// been asked to stop (libcurl calls it at least once a second, also while nothing
// arrives) and passes on changed counts only (libcurl repeats unchanged ones).
class CurlTransfer final
{
public:
    // Bytes received so far, and the length announced (0 if none).
    using Progress = std::function<void(qint64 received, qint64 total)>;
    using WriteFunction = size_t (*)(char *data, size_t size, size_t count, void *userData);

    CurlTransfer();
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer &) = delete;
    CurlTransfer &operator=(const CurlTransfer &) = delete;

    // False when libcurl could not create a handle; nothing else may be called then.
    bool isValid() const { return handle != nullptr; }
    CURL *curl() const { return handle; }

    void setCommonOptions(const QByteArray &url, const char *protocols, long connectTimeoutMs,
                          long stallTimeoutSeconds);
    void setWriteFunction(WriteFunction function, void *userData);
    void setProgressHandler(Progress handler) { progress = std::move(handler); }

    CURLcode perform();
    // What went wrong in a failed perform(), in libcurl's words.
    QString errorText(CURLcode code) const;

private:
    static int progressCallback(void *self, curl_off_t downloadTotal, curl_off_t downloaded,
                                curl_off_t, curl_off_t);

    CURL *handle = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    qint64 lastReceived = -1;
    qint64 lastTotal = -1;
    Progress progress;
};
