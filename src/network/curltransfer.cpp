#include "curltransfer.h"

#include <QThread>

CurlTransfer::CurlTransfer() : handle(curl_easy_init()) {}

CurlTransfer::~CurlTransfer()
{
    if (handle)
        curl_easy_cleanup(handle);
}

void CurlTransfer::setCommonOptions(const QByteArray &url, const char *protocols,
                                    long connectTimeoutMs, long stallTimeoutSeconds)
{
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, protocols);
    // The server is reached directly, whatever proxy the environment names.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, stallTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::progressCallback);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
}

void CurlTransfer::setWriteFunction(WriteFunction function, void *userData)
{
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, function);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, userData);
}

CURLcode CurlTransfer::perform()
{
    errorBuffer[0] = '\0';
    lastReceived = lastTotal = -1;
    return curl_easy_perform(handle);
}

QString CurlTransfer::errorText(CURLcode code) const
{
    return QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
}

int CurlTransfer::progressCallback(void *self, curl_off_t downloadTotal, curl_off_t downloaded,
                                   curl_off_t, curl_off_t)
{
    auto *transfer = static_cast<CurlTransfer *>(self);
    if (QThread::currentThread()->isInterruptionRequested())
        return 1;
    if (downloaded == transfer->lastReceived && downloadTotal == transfer->lastTotal)
        return 0;
    transfer->lastReceived = downloaded;
    transfer->lastTotal = downloadTotal;
    if (transfer->progress)
        transfer->progress(qint64(downloaded), qint64(downloadTotal));
    return 0;
}
