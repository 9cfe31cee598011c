#pragma once

#include <QByteArray>
#include <QString>

// The MD5 of a file's content in hex, read in blocks (files of several GiB are fine);
// empty if the file cannot be read. Tests compare files byte for byte with it.
QByteArray fileMd5Hex(const QString &path);
