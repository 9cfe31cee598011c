#pragma once

#include "remotetree/remotefilestreemodel.h"

#include <QString>

#include <memory>

class BaseCommand;

// A remote tree as the remote pane shows it, for tests that run commands on its
// items: built from a list under the user's root folder and shown by a model that a
// QAbstractItemModelTester watches, so that every change the test makes, and every
// command result it applies, is held to Qt's model contract. The test runs its
// commands itself: nothing the model asks for reaches the program's scheduler.
//
//   ShownRemoteTree shown(RemoteListFixture::line(40, true, "docs", 0));
//   RemoteFilesTreeItem *docs = shown.find("docs");
//   CommandRunner runner(new DeleteDirCommand(1, shown.ref(docs)));
//   ...
//   shown.applyResultOf(*runner.command());
class ShownRemoteTree final
{
public:
    explicit ShownRemoteTree(const QString &list);
    ~ShownRemoteTree();
    ShownRemoteTree(const ShownRemoteTree &) = delete;
    ShownRemoteTree &operator=(const ShownRemoteTree &) = delete;

    RemoteFilesTreeModel &model() const { return *shownBy; }
    const std::shared_ptr<RemoteTree> &tree() const { return shownBy->getTree(); }
    // The user's root folder.
    RemoteFilesTreeItem *root() const { return shownBy->getRootItem(); }
    // The item of that name anywhere in the tree (tests name items that occur once);
    // null when there is none.
    RemoteFilesTreeItem *find(const QString &name) const;
    RemoteItemRef ref(RemoteFilesTreeItem *item) const { return shownBy->refFor(item); }
    // Links the local file or folder at path into folder as a drop does; null when
    // the folder refused it.
    RemoteFilesTreeItem *addLocal(RemoteFilesTreeItem *folder, const QString &path);
    // Applies what the command did to its item on the server, as the GUI thread does
    // when the scheduler reports it.
    void applyResultOf(const BaseCommand &command) const;

private:
    std::unique_ptr<RemoteFilesTreeModel> shownBy;
};
