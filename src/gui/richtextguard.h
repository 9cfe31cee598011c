#pragma once

#include <QString>

// The status line and the transfer window's rows show rich text, and rich text may
// name pictures that the label then reads from the disk: a file named
// `<img src="&#47;dev&#47;zero">` shown as markup once made a label read a device until
// memory ran out. Names are escaped where they enter a message
// (BaseCommand::typeStringFor); this is the second line, at the labels themselves:
// only the few tags the program writes itself pass, and a text holding anything else
// is shown as plain text, markup and all.
class RichTextGuard final
{
public:
    // `richText` if every "<" in it opens one of the program's own tags (bold, the red
    // error colour, a line break); otherwise the whole text escaped.
    static QString ownMarkupOnly(const QString &richText);

private:
    RichTextGuard() = delete;
};
