#include "protocoltextcheck.h"

#include <QStringList>

ProtocolTextCheck::AccountField ProtocolTextCheck::accountProblemField(const QString &login,
                                                                      const QString &password)
{
    if (!problem(login, QString()).isEmpty())
        return LoginProblem;
    if (!problem(password, QString()).isEmpty())
        return PasswordProblem;
    return NoAccountProblem;
}

QString ProtocolTextCheck::accountProblem(const QString &login, const QString &password)
{
    switch (accountProblemField(login, password)) {
    case LoginProblem:
        return problem(login, tr("login"));
    case PasswordProblem:
        return problem(password, tr("password"));
    case NoAccountProblem:
        break;
    }
    return QString();
}

QString ProtocolTextCheck::problem(const QString &text, const QString &what, FieldKind kind)
{
    if (kind == PlainField) {
        for (QChar c : text) {
            if (c == u'\t' || c == u'\n' || c == u'\r')
                return tr("The %1 contains a tab or a line break, which the server cannot "
                          "receive in this field. Please remove it and try again.")
                    .arg(what);
        }
    }

    QStringList outside;
    for (int i = 0; i < text.size(); ++i) {
        const char32_t code = text.at(i).isHighSurrogate() && i + 1 < text.size()
            ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1))
            : text.at(i).unicode();
        if (code <= 0xFF)
            continue;
        const QString shown = QString::fromUcs4(&code, 1);
        if (!outside.contains(shown))
            outside.append(shown);
        if (code > 0xFFFF)
            ++i;
    }
    if (outside.isEmpty())
        return QString();
    return tr("The %1 contains characters that the server cannot store: %2\n"
              "Only Western European (Latin-1) characters can be sent. "
              "Please replace them and try again.")
        .arg(what, outside.join(QLatin1Char(' ')));
}
