// Names from the server's list and from addresses become paths in the user's folders:
// a name judged safe stays one entry of the chosen folder, and a target path judged
// safe never climbs out of the folder it names.
#include "wire/localfilename.h"

#include <QDir>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace {
void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void checkName(const QString &name)
{
    if (!LocalFileName::isSafe(name))
        return;
    const QString folder = QStringLiteral("/home/user/dl");
    const QString path = folder + QLatin1Char('/') + name;
    check(QDir::cleanPath(path) == path);
    check(LocalFileName::isSafeTargetPath(path));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    checkName(text);
    checkName(LocalFileName::fromUrl(text));
    if (LocalFileName::isSafeTargetPath(text)) {
        const QString cleaned = QDir::cleanPath(text);
        check(cleaned.startsWith(QLatin1Char('/')));
        check(!cleaned.contains(QLatin1String("/../")) && !cleaned.endsWith(QLatin1String("/..")));
        check(cleaned.section(QLatin1Char('/'), -1) == text.section(QLatin1Char('/'), -1));
    }
    return 0;
}
