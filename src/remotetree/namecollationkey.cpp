#include "namecollationkey.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>

#include <unicode/ucol.h>

namespace {

struct PrimaryCollator
{
    // Compared by the locale's identity, which is cheap: asking for its name on every
    // hash would cost more than the hash.
    QLocale locale = QLocale::c();
    bool known = false;
    UCollator *collator = nullptr;
    quint32 generation = 0;

    ~PrimaryCollator()
    {
        if (collator)
            ucol_close(collator);
    }

    // Follows the default locale, as localeAwareCompare does.
    UCollator *forCurrentLocale()
    {
        const QLocale current;
        if (known && current == locale)
            return collator;
        if (collator)
            ucol_close(collator);
        collator = nullptr;
        locale = current;
        known = true;
        ++generation;
        if (locale.language() == QLocale::C)
            return nullptr;
        const QString name = locale.name();
        UErrorCode status = U_ZERO_ERROR;
        collator = ucol_open(name.toLatin1().constData(), &status);
        if (U_FAILURE(status)) {
            collator = nullptr;
            return nullptr;
        }
        ucol_setStrength(collator, UCOL_PRIMARY);
        ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, &status);
        return collator;
    }
};

PrimaryCollator &primary()
{
    static PrimaryCollator collator;
    return collator;
}

} // namespace

quint32 NameCollationKey::generation()
{
    primary().forCurrentLocale();
    return primary().generation;
}

size_t NameCollationKey::hash(QStringView name)
{
    UCollator *collator = primary().forCurrentLocale();
    if (!collator || name.isEmpty())
        return qHash(name);

    char buffer[256];
    const auto *text = reinterpret_cast<const UChar *>(name.utf16());
    const int length = int(qMin<qsizetype>(name.size(), INT_MAX));
    int needed = ucol_getSortKey(collator, text, length, reinterpret_cast<uint8_t *>(buffer),
                                 int(sizeof buffer));
    if (needed <= int(sizeof buffer))
        return qHash(QByteArrayView(buffer, qMax(needed - 1, 0)));
    QByteArray key(needed, Qt::Uninitialized);
    needed = ucol_getSortKey(collator, text, length, reinterpret_cast<uint8_t *>(key.data()),
                             needed);
    return qHash(QByteArrayView(key.constData(), qMax(needed - 1, 0)));
}
