#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

class QIODevice;

// The digest an upload is announced with: the MD5 of the file's content in which a
// byte 0x0A becomes 0x0E and, in the same pass, a byte 0x09 becomes 0x0A, so the 16
// raw bytes never hold a line feed or a tab. The server checks the received bytes
// against it.
class UploadDigest final
{
public:
    // Bytes read per step; memory stays bounded by it whatever the file's size.
    static constexpr qint64 ReadBlockSize = 1048576;

    using Progress = std::function<void(qint64 done, qint64 total)>;

    // Reads the device from its current position to its end. Returns the 16 digest
    // bytes, or an empty array if reading failed or the thread was asked to stop. `progress` is called once per block.
    static QByteArray compute(QIODevice &device, const Progress &progress = {});

    // The two byte substitutions applied to a plain 16-byte MD5.
    static QByteArray substitute(QByteArray md5);
};
