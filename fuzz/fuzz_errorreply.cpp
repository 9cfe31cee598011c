// The decoding of a control reply that is not the expected success reply.
#include "network/basecommand.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace {
struct ErrorDecoder : BaseCommand {
    using BaseCommand::getErrorType;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    const BaseCommand::CommandResult result = ErrorDecoder::getErrorType(reply);
    switch (result) {
    case BaseCommand::IncorrectLoginError:
    case BaseCommand::IncorrectPasswordError:
    case BaseCommand::IncorrectCommandError:
    case BaseCommand::UnknownError:
        // Only a reply that starts with the error word decodes to a code.
        if (!reply.startsWith("error\n"))
            std::abort();
        break;
    case BaseCommand::ReceivedDataFormatError:
        break;
    default:
        std::abort();
    }
    return 0;
}
