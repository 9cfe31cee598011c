#include "namecollationkey.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>

#include <unicode/ucol.h>

namespace {

struct PrimaryCollator
{
    QString localeName;
    UCollator *collator = nullptr;

    ~PrimaryCollator()
    {
        if (collator)
            ucol_close(collator);
    }

    // Follows the default locale, as localeAwareCompare does.
    UCollator *forCurrentLocale()
    {
        const QLocale locale;
        const QString name = locale.name();
        if (name == localeName)
            return collator;
        if (collator)
            ucol_close(collator);
        collator = nullptr;
        localeName = name;
        if (locale.language() == QLocale::C)
            return nullptr;
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

} // namespace

size_t NameCollationKey::hash(QStringView name)
{
    static PrimaryCollator primary;
    UCollator *collator = primary.forCurrentLocale();
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
