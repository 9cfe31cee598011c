#include "uploadstore.h"

#include <QFileDevice>

#include <cstring>

UploadStore::UploadStore(QFileDevice &file)
    : file(file)
    , worker([this] { run(); })
{
}

UploadStore::~UploadStore()
{
    {
        std::lock_guard lock(mutex);
        closing = true;
        queue.clear();
    }
    changed.notify_all();
    worker.join();
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
    changed.wait(lock, [this] { return failed || (queue.empty() && !busy); });
    if (failed)
        return {};
    return md5.result();
}

void UploadStore::run()
{
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return closing || !queue.empty(); });
        if (closing)
            return;
        QByteArray block = std::move(queue.front());
        queue.pop_front();
        busy = true;
        lock.unlock();
        const bool written = file.write(block.constData(), block.size()) == block.size();
        if (written)
            md5.addData(block);
        lock.lock();
        busy = false;
        queuedBytes -= block.size();
        if (!written)
            failed = true;
        if (spare.size() < 4)
            spare.push_back(std::move(block));
        changed.notify_all();
    }
}
