#pragma once

#include "network/basecommand.h"

#include <QList>

// The scheduler's rule of which queued commands may start, as a value without
// threads: what runs (counted by exclusivity class), the stream limit, and the
// exclusivity of the commands at the front of the queue decide it.
//
//   running \ next   NonServer  NonExclusive  Exclusive  DestroyingExclusive
//   nothing             yes         yes          yes            yes
//   NonServer only      yes         yes          yes            yes
//   NonExclusive        yes         yes          yes            no
//   Exclusive           yes         no           no             no
//   DestroyingExcl.     yes         no           no             no
//
// Commands start in queue order: the first one that may not start blocks everything
// behind it, and none starts while every stream is taken.
class CommandAdmission final
{
public:
    // The most demanding class among the running commands (NonServer when none runs).
    BaseCommand::CommandExclusivity currentExclusivity() const;
    static bool mayStart(BaseCommand::CommandExclusivity current,
                         BaseCommand::CommandExclusivity next);

    // How many commands at the front of `queueFront` (their classes, in queue order)
    // start now under `streamLimit`; what runs stays as it is.
    int admissibleCount(const QList<BaseCommand::CommandExclusivity> &queueFront,
                        int streamLimit) const;
    // How many of the queue's first commands can matter to admissibleCount().
    int freeStreams(int streamLimit) const { return qMax(0, streamLimit - running); }

    void add(BaseCommand::CommandExclusivity exclusivity);
    void remove(BaseCommand::CommandExclusivity exclusivity);
    void clear() { *this = CommandAdmission(); }

private:
    int running = 0;
    int runningOf[4] = {0, 0, 0, 0}; // indexed by CommandExclusivity
};
