#pragma once

#include <QString>

// Names that come from the server or from an address become paths in the user's
// folders. A name that is empty, "." or "..", or that holds a path separator or a NUL,
// would create or write something outside the folder the user chose: such names are
// refused wherever they are turned into paths.
class LocalFileName final
{
public:
    // Whether `name` is one plain entry of a folder.
    static bool isSafe(const QString &name);

    // Whether `path` can be written as a download target: an absolute path whose last
    // entry is a safe name and in which no entry is "." or "..", so it stays inside
    // the folder it names.
    static bool isSafeTargetPath(const QString &path);

    // The local file name for a download from `url`: the text after its last "/", cut
    // before its last "?", percent escapes decoded (read as UTF-8, as are characters typed unescaped), white space at both
    // ends removed. For ".../My%20File.zip?x=1" that is "My File.zip". Empty when the
    // address has no usable last segment; the caller checks the result with isSafe().
    static QString fromUrl(const QString &url);
};
