#include "runningscheduler.h"

#include "devserverprocess.h"
#include "network/basecommand.h"
#include "network/mainnetworkthread.h"

MainNetworkThread *startSchedulerFor(const DevServerProcess &server, const QString &login, const QString &password,
                       Settings::SyncType policy, int streams)
{
    BaseCommand::registerMetaTypes();
    Settings *settings = Settings::getInstance();
    MainNetworkThread *scheduler = MainNetworkThread::getInstance();
    QObject::connect(settings, &Settings::settingChange, scheduler, &MainNetworkThread::syncModeChange,
                     Qt::UniqueConnection);
    scheduler->moveToThread(scheduler);
    scheduler->start();
    settings->setLogin(login);
    settings->setPass(password);
    settings->setServerHost(server.host());
    settings->setServerPort(server.port());
    settings->setStreamsCount(streams);
    settings->setSyncType(policy);
    return scheduler;
}
