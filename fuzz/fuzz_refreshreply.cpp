// The whole reply to a refresh: "filelist\n" and the list text, or an error.
#include "network/refreshlistcommand.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString untouched = QStringLiteral("previous");
    QString list = untouched;
    const BaseCommand::CommandResult result = RefreshListCommand::parseReply(reply, list);
    if (result == BaseCommand::NoError) {
        // The list is the Latin-1 text behind the word, up to the first zero byte.
        if (!reply.startsWith("filelist\n") || list.contains(QChar(0))
            || list.size() > reply.size() - 9 || list.toLatin1() != reply.mid(9, list.size()))
            __builtin_trap();
    } else if (list != untouched) {
        // A failed refresh keeps the list the user has.
        __builtin_trap();
    }
    return 0;
}
