#include "commandadmission.h"

BaseCommand::CommandExclusivity CommandAdmission::currentExclusivity() const
{
    for (const auto exclusivity : {BaseCommand::DestroyingExclusive, BaseCommand::Exclusive,
                                   BaseCommand::NonExclusive}) {
        if (runningOf[exclusivity] > 0)
            return exclusivity;
    }
    return BaseCommand::NonServer;
}

bool CommandAdmission::mayStart(BaseCommand::CommandExclusivity current,
                                BaseCommand::CommandExclusivity next)
{
    if (next == BaseCommand::NonServer || current == BaseCommand::NonServer)
        return true;
    return current == BaseCommand::NonExclusive
        && (next == BaseCommand::NonExclusive || next == BaseCommand::Exclusive);
}

int CommandAdmission::admissibleCount(const QList<BaseCommand::CommandExclusivity> &queueFront,
                                      int streamLimit) const
{
    CommandAdmission after = *this;
    int count = 0;
    for (const BaseCommand::CommandExclusivity next : queueFront) {
        if (after.running >= streamLimit || !mayStart(after.currentExclusivity(), next))
            break;
        after.add(next);
        ++count;
    }
    return count;
}

void CommandAdmission::add(BaseCommand::CommandExclusivity exclusivity)
{
    ++running;
    ++runningOf[exclusivity];
}

void CommandAdmission::remove(BaseCommand::CommandExclusivity exclusivity)
{
    running = qMax(0, running - 1);
    runningOf[exclusivity] = qMax(0, runningOf[exclusivity] - 1);
}
