#pragma once

#include <QStringView>
#include <QtGlobal>

#include <cstddef>

// Hash of a file name that agrees with QString::localeAwareCompare equality: names that
// compare equal always get the same hash, so a folder can find a name's possible twins
// in a hash table instead of comparing against every child. Different names may share a
// hash too; callers confirm a hit with localeAwareCompare.
//
// Under the C locale the comparison is by code point, so the name itself is hashed.
// Otherwise the hash covers the name's primary collation key (base letters only, with
// punctuation and ignorable characters shifted away) in the same locale: strings the
// full comparison finds equal are equal at that coarser level too.
class NameCollationKey final
{
public:
    // Each thread uses a collator of its own; hashes agree between threads.
    static size_t hash(QStringView name);
    // The first bytes of the name's full collation key, as QString::localeAwareCompare
    // orders names (code units under the C locale), as one number: when two names'
    // prefixes differ, they order the names as that comparison does; equal prefixes
    // say nothing, and the names are compared in full. Made in the locale that the
    // last generation() or hash() found (asking for it again costs as much as this).
    static quint64 orderPrefix(QStringView name);
    // Changes whenever the default locale does (and is the same on every thread for the
    // same locale): hashes made under another generation may disagree with hash() now.
    static quint32 generation();

private:
    NameCollationKey() = delete;
};
