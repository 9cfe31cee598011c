#pragma once

// Writes an upload's bytes into its file and digests them on a thread of its own, so
// that the server's event thread only moves bytes off the data connection and stays
// free for everyone else. The bytes are written and digested in the order given.

#include <QByteArray>
#include <QCryptographicHash>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class QFileDevice;

class UploadStore final
{
public:
    // At most this much waits for the worker; append() holds the caller back beyond it.
    static constexpr qint64 MaxQueuedBytes = 8 * 1024 * 1024;

    // `file` is open for writing and is used only by the worker until finish() returns
    // or the store is destroyed.
    explicit UploadStore(QFileDevice &file);
    ~UploadStore();
    UploadStore(const UploadStore &) = delete;
    UploadStore &operator=(const UploadStore &) = delete;

    // False once a write has failed.
    bool append(const char *data, qint64 size);
    // Waits until everything appended is written and digested; the MD5 of all of it,
    // or an empty array if a write failed. Nothing may be appended afterwards.
    QByteArray finish();

private:
    void run();

    QFileDevice &file;
    QCryptographicHash md5{QCryptographicHash::Md5};
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> queue;
    // Blocks the worker is done with, kept so that append() does not allocate (fresh
    // memory costs a page fault per page).
    std::vector<QByteArray> spare;
    qint64 queuedBytes = 0;
    bool closing = false;
    bool busy = false;
    bool failed = false;
    std::thread worker;
};
