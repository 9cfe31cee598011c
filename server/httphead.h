#pragma once

#include <QByteArray>
#include <QList>

// The head of an HTTP request or response as it arrives on a data connection:
// the first line and the header lines, up to the empty line. Both transfers read
// one; the body that may follow in the same bytes is left to them.
class HttpHead final
{
public:
    // Upper bound of a head; anything longer is refused.
    static constexpr int MaxSize = 16384;

    // Takes the head off the front of `buffer` once it is complete (returns true);
    // `tooLong` is set when no end arrived within MaxSize bytes.
    bool take(QByteArray &buffer, bool *tooLong);

    QByteArray firstLine() const { return lines.value(0); }
    // Value of the first header named `name` (case-insensitive), trimmed; null if absent.
    QByteArray header(const QByteArray &name) const;

private:
    QList<QByteArray> lines;
};
