#include "demodata.h"

#include "storage.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>

namespace {
quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc32(type + data));
}

}

QByteArray DemoData::gradientPng(int width, int height, int hueShift)
{
    QByteArray pixels;
    for (int y = 0; y < height; ++y) {
        pixels += '\0'; // no filter on this row
        for (int x = 0; x < width; ++x) {
            pixels += char((x * 255 / qMax(1, width - 1) + hueShift) % 256);
            pixels += char(y * 255 / qMax(1, height - 1));
            pixels += char((255 - x * 255 / qMax(1, width - 1) + hueShift / 2) % 256);
        }
    }
    QByteArray header = bigEndian(quint32(width)) + bigEndian(quint32(height));
    header += QByteArray::fromHex("0802000000"); // 8 bits, RGB, deflate, no filter, no interlace
    // qCompress writes a zlib stream behind a four-byte length of its own.
    const QByteArray idat = qCompress(pixels, 9).mid(4);
    return QByteArray::fromHex("89504e470d0a1a0a") + pngChunk("IHDR", header) + pngChunk("IDAT", idat)
           + pngChunk("IEND", QByteArray());
}

bool DemoData::create(Storage &storage)
{
    if (!storage.setAccount(Login, Password))
        return false;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    auto makeFolder = [&](qint64 parent, const QByteArray &name) {
        Storage::Item folder;
        folder.isDir = true;
        folder.name = name;
        folder.parent = parent;
        folder.date = now;
        return storage.insertItem(Login, folder);
    };
    const qint64 documents = makeFolder(0, "Documents");
    const qint64 pictures = makeFolder(0, "Pictures");
    const qint64 holidays = makeFolder(pictures, "Holidays");
    const qint64 music = makeFolder(0, "Music");
    if (!documents || !pictures || !holidays || !music)
        return false;

    QByteArray notes;
    for (int i = 1; i <= 40; ++i)
        notes += "Line " + QByteArray::number(i) + " of the meeting notes.\n";
    const struct
    {
        qint64 parent;
        QByteArray name;
        QByteArray content;
        QByteArray description;
        bool searchable;
        bool available;
        qint64 size;
    } files[] = {
        {0, "readme.txt", "Welcome to your storage on the development server.\nDrag files here to upload them.\n",
         "Start here", true, true, 0},
        {documents, "meeting notes.txt", notes, "", false, true, 0},
        {documents, "todo.txt", "- water the plants\n- renew the passport\n", "Things to do", true, true, 0},
        {pictures, "gradient.png", gradientPng(64, 48, 0), "A colour gradient", true, true, 0},
        {holidays, "sunset.png", gradientPng(120, 80, 96), "", false, true, 0},
        {music, "lost recording.ogg", QByteArray(), "Its content is not available", false, false, 3145728},
    };
    for (const auto &file : files) {
        Storage::Item item;
        item.name = file.name;
        item.parent = file.parent;
        item.date = now;
        item.description = file.description;
        item.searchable = file.searchable;
        item.available = file.available;
        item.size = file.available ? file.content.size() : file.size;
        if (file.available) {
            item.fsName = Storage::newFsName();
            QFile content(storage.contentPath(item.fsName));
            if (!content.open(QIODevice::WriteOnly) || content.write(file.content) != file.content.size())
                return false;
        }
        if (!storage.insertItem(Login, item))
            return false;
    }
    return true;
}
