#include "selfidindex.h"

#include <algorithm>

namespace {
// How far past its end the run may grow over ids that are not this tree's: a few
// holes a slot each are cheaper than a hash entry for every later item.
constexpr quint64 MinRunGap = 64;
// A run holding fewer items than this gives way to a new one when an id far from it
// comes (a tree's first items are made apart from its list).
constexpr qsizetype MinRunKept = 64;
} // namespace

void SelfIdIndex::insert(quint64 id, RemoteFilesTreeItem *item)
{
    // An id lives in one place only: the run may have grown over ids kept in the hash.
    if (inRun(id)) {
        if (!run[id - runStart])
            ++runCount;
        run[id - runStart] = item;
        others.remove(id);
        return;
    }
    const quint64 end = runStart + run.size();
    const quint64 gap = std::max<quint64>(MinRunGap, run.size() / 8);
    if (!run.empty() && id >= end && id - end <= gap) {
        run.resize(size_t(id - runStart), nullptr);
        run.push_back(item);
        ++runCount;
        others.remove(id);
        return;
    }
    if (runCount < MinRunKept) {
        for (size_t at = 0; at < run.size(); ++at) {
            if (run[at])
                others.insert(runStart + at, run[at]);
        }
        const size_t kept = run.capacity();
        run.clear();
        run.reserve(kept);
        runStart = id;
        run.push_back(item);
        runCount = 1;
        others.remove(id);
        return;
    }
    others.insert(id, item);
}

void SelfIdIndex::remove(quint64 id)
{
    if (inRun(id) && run[id - runStart]) {
        --runCount;
        run[id - runStart] = nullptr;
        return;
    }
    others.remove(id);
}

RemoteFilesTreeItem *SelfIdIndex::value(quint64 id) const
{
    RemoteFilesTreeItem *item = inRun(id) ? run[id - runStart] : nullptr;
    return item ? item : others.value(id);
}
