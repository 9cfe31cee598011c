// The per-user settings file, as it might be after a crash or a careless edit: every
// value read from it must end up usable.
#include "base/settings.h"
#include "base/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_settingsfile";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // The warnings about unusable values are expected by the thousand; keep them quiet.
    static const QtMessageHandler quiet =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    Q_UNUSED(quiet);
    static QTemporaryDir folder;
    static int counter = 0;

    // A fresh name each time: the INI reader caches files by name and modification time.
    const QString path = folder.filePath(QStringLiteral("settings-%1.ini").arg(++counter));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            __builtin_trap();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const SettingsFile::WindowLayout layout = SettingsFile(path).load();
    QFile::remove(path);

    const Settings *store = Settings::getInstance();
    if (!layout.size.isValid())
        __builtin_trap();
    if (store->getStreamsCount() < 1 || store->getStreamsCount() > Settings::MaxStreamsCount)
        __builtin_trap();
    if (store->getServerPort() < 1 || store->getServerPort() > 65535)
        __builtin_trap();
    if (!store->getSyncTime().isValid())
        __builtin_trap();
    const int sync = int(store->getSyncType());
    if (sync != Settings::ManualSync && sync != Settings::BackgroundSync
        && sync != Settings::TimerSync)
        __builtin_trap();
    return 0;
}
