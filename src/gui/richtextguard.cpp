#include "richtextguard.h"

#include <QLatin1StringView>

namespace {

// Nothing here can name a file, a picture or a style sheet.
constexpr QLatin1StringView OwnTags[] = {
    QLatin1StringView("<b>"), QLatin1StringView("</b>"), QLatin1StringView("<font color=\"Red\">"),
    QLatin1StringView("</font>"), QLatin1StringView("<br>"),
};

bool opensOwnTag(const QString &text, qsizetype at)
{
    const QStringView rest = QStringView(text).mid(at);
    for (const QLatin1StringView tag : OwnTags) {
        if (rest.startsWith(tag))
            return true;
    }
    return false;
}

} // namespace

QString RichTextGuard::ownMarkupOnly(const QString &richText)
{
    for (qsizetype at = richText.indexOf(QLatin1Char('<')); at >= 0;
         at = richText.indexOf(QLatin1Char('<'), at + 1)) {
        if (!opensOwnTag(richText, at))
            return richText.toHtmlEscaped();
    }
    return richText;
}
