#include "uploaddigest.h"

#include <QCryptographicHash>
#include <QIODevice>
#include <QThread>

QByteArray UploadDigest::compute(QIODevice &device, const Progress &progress)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    const qint64 total = device.size() - device.pos();
    QByteArray block(int(ReadBlockSize), Qt::Uninitialized);
    qint64 done = 0;
    for (;;) {
        // A command asked to stop (its window is closing) gives up between blocks.
        if (QThread::currentThread()->isInterruptionRequested())
            return {};
        const qint64 got = device.read(block.data(), ReadBlockSize);
        if (got < 0)
            return {};
        if (got == 0)
            break;
        md5.addData(QByteArrayView(block.constData(), got));
        done += got;
        if (progress)
            progress(done, total);
    }
    return substitute(md5.result());
}

QByteArray UploadDigest::substitute(QByteArray md5)
{
    for (char &byte : md5) {
        if (byte == '\n')
            byte = '\x0e';
        else if (byte == '\t')
            byte = '\n';
    }
    return md5;
}
