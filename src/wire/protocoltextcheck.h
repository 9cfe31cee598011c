#pragma once

#include <QCoreApplication>
#include <QString>

// What the user types travels to the server as one byte per character (Latin-1),
// in fields that TAB and line feed separate, without any escaping. A TAB or a line
// break inside a name or password would shift the server's fields, and characters
// outside Latin-1 would arrive as "?". These checks run before anything is queued,
// so such input is refused with a message instead.
class ProtocolTextCheck final
{
    Q_DECLARE_TR_FUNCTIONS(ProtocolTextCheck)

public:
    enum FieldKind {
        // Sent as it stands between separators: name, password, address.
        PlainField,
        // Sent Base64-encoded (a description): separators are harmless there.
        EncodedField
    };

    // An empty string when `text` can be sent as it is; otherwise a message for the
    // user that names the field (`what`, already translated) and the problem.
    static QString problem(const QString &text, const QString &what, FieldKind kind = PlainField);

    // Login and password open every request, each on its own line; the same check for
    // both, whether typed in Options or read from the settings file. An empty string
    // when both can be sent; otherwise the message about the first unusable one.
    enum AccountField { NoAccountProblem, LoginProblem, PasswordProblem };
    static AccountField accountProblemField(const QString &login, const QString &password);
    static QString accountProblem(const QString &login, const QString &password);
};
