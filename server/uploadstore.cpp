#include "uploadstore.h"

#include <QFileDevice>

#include <cstring>

UploadStore::UploadStore(QFileDevice &file)
    : file(file)
    , md5(EVP_MD_CTX_new())
{
    if (!md5 || EVP_DigestInit_ex(md5, EVP_md5(), nullptr) != 1)
        failed = true;
    workers[Writer] = std::thread([this] { run(Writer); });
    workers[Digester] = std::thread([this] { run(Digester); });
}

UploadStore::~UploadStore()
{
    {
        std::lock_guard lock(mutex);
        closing = true;
    }
    changed.notify_all();
    for (std::thread &worker : workers)
        worker.join();
    EVP_MD_CTX_free(md5);
}

bool UploadStore::append(const char *data, qint64 size)
{
    std::unique_lock lock(mutex);
    if (size <= 0)
        return !failed;
    changed.wait(lock, [this] { return failed || queuedBytes < MaxQueuedBytes; });
    if (failed)
        return false;
    QByteArray block;
    if (!spare.empty()) {
        block = std::move(spare.back());
        spare.pop_back();
    }
    block.resize(size);
    std::memcpy(block.data(), data, size_t(size));
    queuedBytes += size;
    queue.push_back(std::move(block));
    lock.unlock();
    changed.notify_all();
    return true;
}

QByteArray UploadStore::finish()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return failed || queue.empty(); });
    if (failed)
        return {};
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(md5, reinterpret_cast<unsigned char *>(digest.data()), &length) != 1)
        return {};
    digest.truncate(length);
    return digest;
}

void UploadStore::run(Worker worker)
{
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return closing || failed || done[worker] < queue.size(); });
        if (closing || failed)
            return;
        // A second handle on the block: the deque may grow meanwhile, and the other
        // worker may finish with it first; the bytes themselves are never changed.
        const QByteArray block = queue[done[worker]];
        lock.unlock();
        const bool ok = process(worker, block);
        lock.lock();
        ++done[worker];
        if (!ok)
            failed = true;
        releaseDoneBlocks();
        changed.notify_all();
    }
}

bool UploadStore::process(Worker worker, const QByteArray &block)
{
    if (worker == Writer)
        return file.write(block.constData(), block.size()) == block.size();
    return EVP_DigestUpdate(md5, block.constData(), size_t(block.size())) == 1;
}

void UploadStore::releaseDoneBlocks()
{
    while (done[Writer] > 0 && done[Digester] > 0) {
        QByteArray block = std::move(queue.front());
        queue.pop_front();
        --done[Writer];
        --done[Digester];
        queuedBytes -= block.size();
        if (spare.size() < 4)
            spare.push_back(std::move(block));
    }
}
