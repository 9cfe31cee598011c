#include "namecollationkey.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>

#include <array>
#include <climits>

#include <unicode/ucol.h>
#include <unicode/uiter.h>

namespace {

struct PrimaryCollator
{
    // Compared by the locale's identity, which is cheap: asking for its name on every
    // hash would cost more than the hash.
    QLocale locale = QLocale::c();
    bool known = false;
    UCollator *collator = nullptr;
    // Set up as the library's own collator for localeAwareCompare: the locale's rules,
    // normalisation on, its default strength, punctuation not ignored, digits as text.
    UCollator *order = nullptr;
    quint32 generation = 0;

    ~PrimaryCollator() { close(); }

    void close()
    {
        if (collator)
            ucol_close(collator);
        if (order)
            ucol_close(order);
        collator = nullptr;
        order = nullptr;
    }

    // Without it names are ordered by comparing them in full.
    void openOrder()
    {
        const QByteArray name = locale.bcp47Name().replace(QLatin1Char('-'), QLatin1Char('_')).toLatin1();
        UErrorCode status = U_ZERO_ERROR;
        order = ucol_open(name.constData(), &status);
        if (U_FAILURE(status)) {
            order = nullptr;
            return;
        }
        ucol_setAttribute(order, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
        ucol_setAttribute(order, UCOL_STRENGTH, UCOL_DEFAULT_STRENGTH, &status);
        ucol_setAttribute(order, UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
        ucol_setAttribute(order, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
        if (U_FAILURE(status)) {
            ucol_close(order);
            order = nullptr;
        }
    }

    // Follows the default locale, as localeAwareCompare does.
    UCollator *forCurrentLocale()
    {
        const QLocale current;
        if (known && current == locale)
            return collator;
        close();
        locale = current;
        known = true;
        // The same locale gives the same number on every thread (each thread has its
        // own collator), so keys made by the thread that built a tree stay valid on
        // the GUI thread; 0 is kept for "no key yet".
        generation = quint32(qHash(locale.bcp47Name())) | 1u;
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
        openOrder();
        return collator;
    }
};

// One per thread: ICU collators must not be shared between threads, and trees are
// built on worker threads while the GUI thread sorts and checks names.
PrimaryCollator &primary()
{
    static thread_local PrimaryCollator collator;
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

quint64 NameCollationKey::orderPrefix(QStringView name)
{
    std::array<uint8_t, sizeof(quint64)> bytes{};
    const PrimaryCollator &state = primary();
    if (state.locale.language() != QLocale::C) {
        if (!state.order)
            return 0; // every name ties: compared in full
        UCharIterator text;
        uiter_setString(&text, reinterpret_cast<const UChar *>(name.utf16()),
                        int(qMin<qsizetype>(name.size(), INT_MAX)));
        uint32_t iteration[2] = {0, 0};
        UErrorCode status = U_ZERO_ERROR;
        ucol_nextSortKeyPart(state.order, &text, iteration, bytes.data(), int(bytes.size()),
                             &status);
        if (U_FAILURE(status))
            return 0; // every name ties: compared in full
    } else {
        // Code units written as UTF-8 writes code points (surrogates one by one): the
        // bytes order as the units do, and a shorter name's end (zero bytes) sorts first.
        size_t at = 0;
        for (const QChar c : name) {
            const char16_t unit = c.unicode();
            uint8_t encoded[3];
            size_t length = 0;
            if (unit < 0x80) {
                encoded[length++] = uint8_t(unit);
            } else if (unit < 0x800) {
                encoded[length++] = uint8_t(0xC0 | (unit >> 6));
                encoded[length++] = uint8_t(0x80 | (unit & 0x3F));
            } else {
                encoded[length++] = uint8_t(0xE0 | (unit >> 12));
                encoded[length++] = uint8_t(0x80 | ((unit >> 6) & 0x3F));
                encoded[length++] = uint8_t(0x80 | (unit & 0x3F));
            }
            for (size_t i = 0; i < length && at < bytes.size(); ++i)
                bytes[at++] = encoded[i];
            if (at == bytes.size())
                break;
        }
    }
    quint64 prefix = 0;
    for (const uint8_t byte : bytes)
        prefix = (prefix << 8) | byte;
    return prefix;
}
