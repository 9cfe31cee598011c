// pelorin-devserver: a development server of the Kelvarhold storage service, for
// running, demonstrating and testing the client on one machine.

#include "devserver.h"
#include "serveroptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

[[noreturn]] void usageError(const QString &text)
{
    std::fprintf(stderr, "pelorin-devserver: %s\n", qPrintable(text));
    std::exit(2);
}

bool readNumber(const QCommandLineParser &parser, const QString &name, qint64 minimum, qint64 *value)
{
    if (!parser.isSet(name))
        return false;
    bool ok = false;
    *value = parser.value(name).toLongLong(&ok);
    if (!ok || *value < minimum)
        usageError(QStringLiteral("--%1 needs a number of at least %2").arg(name).arg(minimum));
    return true;
}

void readInt(const QCommandLineParser &parser, const QString &name, qint64 minimum, int *value)
{
    qint64 number = 0;
    if (readNumber(parser, name, minimum, &number))
        *value = int(qMin<qint64>(number, std::numeric_limits<int>::max()));
}

ServerOptions parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Development server of the Kelvarhold storage service. Prints one line\n"
        "\"listening on HOST:PORT\" when it accepts connections; SIGINT or SIGTERM stop it."));
    parser.addHelpOption();
    const auto option = [&](const char *name, const char *help, const char *value = nullptr) {
        if (value)
            parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help),
                                                QString::fromLatin1(value)));
        else
            parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help)));
    };
    option("listen", "Address and port to listen on; port 0 picks a free one (default 127.0.0.1:2939).",
           "HOST:PORT");
    option("data", "Folder of the database and the file contents (required; created if missing).", "DIR");
    option("user", "Create the account, or set its password. May be repeated.", "LOGIN:PASSWORD");
    option("demo", "Create the account demo (password demo) with a small tree if it does not exist.");
    option("verbose", "Write one line per request to standard error (never a password).");
    option("request-quiet-ms", "Silence after which a request whose fields are all present is complete "
                               "(default 100).", "MS");
    option("request-timeout-ms", "Refuse a request still incomplete after this long (default 10000).", "MS");
    option("data-timeout-ms", "A data port waits this long for its client, and a data connection without "
                              "progress is dropped after this long (default 10000).", "MS");
    option("message-gap-ms", "Shortest pause between two messages on a control connection (default 50).", "MS");
    option("progress-interval-ms", "Progress messages of a URL upload at most this often (default 250).", "MS");
    option("fetch-timeout-ms", "Give up a URL upload after this long without bytes (default 60000).", "MS");
    option("upload-attempts", "Give up an upload after this many data connections in a row brought no bytes "
                              "(default 3).", "N");
    option("upload-range-size", "Fetch uploads in ranges of this many bytes, one data connection each, so the "
                                "client serves several requests (default: the whole file at once).", "BYTES");
    option("data-rate", "Move each upload and download at most this many bytes per second, to watch "
                        "progress and time left on one machine (default: no limit).", "BYTES");
    option("cut-download-after", "Fault: close a download's data connection after N bytes of the body.", "N");
    option("ignore-range", "Fault: answer every download from byte 0 with status 200, whatever the range.");
    option("download-404", "Fault: answer every download request with status 404 Not Found.");
    option("list-piece-size", "Fault: send the refresh reply in pieces of this many bytes ...", "BYTES");
    option("list-pause-ms", "... with this pause between the pieces (default 500 with --list-piece-size).", "MS");
    option("never-answer", "Fault: accept control connections, read them and never answer.");
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument %1 (see --help)").arg(parser.positionalArguments().first()));

    ServerOptions options;
    if (parser.isSet(QStringLiteral("listen"))) {
        const QString listen = parser.value(QStringLiteral("listen"));
        const int colon = int(listen.lastIndexOf(QLatin1Char(':')));
        bool ok = false;
        const uint port = colon < 0 ? 0 : listen.mid(colon + 1).toUInt(&ok);
        if (colon <= 0 || !ok || port > 65535)
            usageError(QStringLiteral("--listen needs HOST:PORT, not %1").arg(listen));
        options.listenHost = listen.left(colon);
        if (options.listenHost.startsWith(QLatin1Char('[')) && options.listenHost.endsWith(QLatin1Char(']')))
            options.listenHost = options.listenHost.mid(1, options.listenHost.size() - 2);
        options.listenPort = quint16(port);
    }
    options.dataDir = parser.value(QStringLiteral("data"));
    if (options.dataDir.isEmpty())
        usageError(QStringLiteral("--data DIR is required (see --help)"));
    for (const QString &user : parser.values(QStringLiteral("user"))) {
        const int colon = int(user.indexOf(QLatin1Char(':')));
        if (colon <= 0)
            usageError(QStringLiteral("--user needs LOGIN:PASSWORD"));
        const QByteArray login = user.left(colon).toLatin1();
        const QByteArray password = user.mid(colon + 1).toLatin1();
        // These would shift the fields of every request.
        if (login.contains('\n') || login.contains('\t') || password.contains('\n') || password.contains('\t'))
            usageError(QStringLiteral("--user: a login or password cannot hold a TAB or a line feed"));
        options.users.append({login, password});
    }
    options.demo = parser.isSet(QStringLiteral("demo"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    readInt(parser, QStringLiteral("request-quiet-ms"), 1, &options.requestQuietMs);
    readInt(parser, QStringLiteral("request-timeout-ms"), 1, &options.requestTimeoutMs);
    readInt(parser, QStringLiteral("data-timeout-ms"), 1, &options.dataTimeoutMs);
    readInt(parser, QStringLiteral("message-gap-ms"), 0, &options.messageGapMs);
    readInt(parser, QStringLiteral("progress-interval-ms"), 1, &options.progressIntervalMs);
    readInt(parser, QStringLiteral("fetch-timeout-ms"), 1, &options.fetchTimeoutMs);
    readInt(parser, QStringLiteral("upload-attempts"), 1, &options.uploadAttempts);
    readNumber(parser, QStringLiteral("upload-range-size"), 1, &options.uploadRangeSize);
    readNumber(parser, QStringLiteral("data-rate"), 1, &options.dataRate);
    readNumber(parser, QStringLiteral("cut-download-after"), 0, &options.cutDownloadAfter);
    options.ignoreRange = parser.isSet(QStringLiteral("ignore-range"));
    options.download404 = parser.isSet(QStringLiteral("download-404"));
    readInt(parser, QStringLiteral("list-piece-size"), 1, &options.listPieceSize);
    if (options.listPieceSize > 0)
        options.listPauseMs = 500;
    readInt(parser, QStringLiteral("list-pause-ms"), 0, &options.listPauseMs);
    options.neverAnswer = parser.isSet(QStringLiteral("never-answer"));
    return options;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelorin-devserver"));
    const ServerOptions options = parseOptions(app);

    // SIGINT and SIGTERM end the event loop through a pipe, so the sessions are torn
    // down normally and uploads in progress leave no temporary files behind.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        std::perror("pelorin-devserver: socketpair");
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int status = 0;
    {
        DevServer server(options);
        QString error;
        if (!server.start(&error)) {
            std::fprintf(stderr, "pelorin-devserver: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("listening on %s:%u\n", qPrintable(server.address().toString()), unsigned(server.port()));
        std::fflush(stdout);
        status = app.exec();
    }
    return status;
}
