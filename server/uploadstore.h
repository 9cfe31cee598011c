#pragma once

// Writes an upload's bytes into its file and digests them beside the server's event
// thread, so that it only moves bytes off the data connection and stays free for
// everyone else. Writing and digesting run on two threads of their own, each taking
// the blocks in the order given: on a loopback connection MD5 is the slowest step of
// an upload, and with the write beside it an upload takes about as long as the
// digest alone.

#include <QByteArray>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <openssl/evp.h>

class QFileDevice;

class UploadStore final
{
public:
    // At most this much waits for the workers; append() holds the caller back beyond it.
    static constexpr qint64 MaxQueuedBytes = 8 * 1024 * 1024;

    // `file` is open for writing and is used only by the writer until finish() returns
    // or the store is destroyed.
    explicit UploadStore(QFileDevice &file);
    ~UploadStore();
    UploadStore(const UploadStore &) = delete;
    UploadStore &operator=(const UploadStore &) = delete;

    // False once a write or the digest has failed.
    bool append(const char *data, qint64 size);
    // Waits until everything appended is written and digested; the MD5 of all of it,
    // or an empty array if a write failed. Nothing may be appended afterwards.
    QByteArray finish();

private:
    enum Worker { Writer, Digester, WorkerCount };

    void run(Worker worker);
    // Does the worker's step for one block; false on failure. Runs unlocked.
    bool process(Worker worker, const QByteArray &block);
    // Drops the blocks both workers are done with. Called with the mutex held.
    void releaseDoneBlocks();

    QFileDevice &file;
    EVP_MD_CTX *md5 = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    // Blocks not yet done by both workers; done[w] of them (from the front) are done by w.
    std::deque<QByteArray> queue;
    std::size_t done[WorkerCount] = {0, 0};
    // Blocks the workers are done with, kept so that append() does not allocate (fresh
    // memory costs a page fault per page).
    std::vector<QByteArray> spare;
    qint64 queuedBytes = 0;
    bool closing = false;
    bool failed = false;
    std::thread workers[WorkerCount];
};
