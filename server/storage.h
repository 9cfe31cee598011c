#pragma once

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>

class QTemporaryFile;

#include <optional>

class QSqlQuery;

// Accounts and items in an SQLite database in the data folder; file contents as
// files beside it (files/<file-system name>), uploads in progress under tmp/.
// Used from the server's one thread only. Folder id 0 is each account's root: it
// has no row of its own.
class Storage final
{
public:
    struct Item
    {
        qint64 id = 0;
        bool isDir = false;
        QByteArray name;
        qint64 parent = 0;
        qint64 size = 0;
        qint64 date = 0;
        QByteArray description;
        bool searchable = false;
        QByteArray password;
        QByteArray fsName;
        bool available = true;
    };

    enum class Auth { Ok, UnknownLogin, WrongPassword };

    explicit Storage(const QString &dataDir);
    ~Storage();
    Storage(const Storage &) = delete;
    Storage &operator=(const Storage &) = delete;

    // Creates the folders and the schema if needed and removes uploads left
    // half-written by a previous run.
    bool open(QString *error);

    bool setAccount(const QByteArray &login, const QByteArray &password);
    bool hasAccount(const QByteArray &login);
    Auth authenticate(const QByteArray &login, const QByteArray &password);

    QList<Item> listItems(const QByteArray &owner);
    std::optional<Item> item(const QByteArray &owner, qint64 id);
    // True for 0 (the root) and for every folder of the owner.
    bool isFolder(const QByteArray &owner, qint64 id);
    bool nameTaken(const QByteArray &owner, qint64 parent, const QByteArray &name, qint64 exceptId = 0);
    // True when folder `id` is `ancestor` or lies beneath it.
    bool isWithin(const QByteArray &owner, qint64 id, qint64 ancestor);

    // Returns the new id, or 0 on failure (a name taken meanwhile included).
    qint64 insertItem(const QByteArray &owner, const Item &item);
    // Moves a complete temporary file into the contents under a new file-system name
    // (set in `item`) and lists it; returns the new id, or 0 on failure, in which case
    // the content is removed.
    qint64 insertFile(const QByteArray &owner, Item &item, QTemporaryFile &file);
    bool moveItem(const QByteArray &owner, qint64 id, qint64 parent, const QByteArray &name);
    bool setParams(const QByteArray &owner, qint64 id, const QByteArray &description, bool searchable,
                   const std::optional<QByteArray> &password);
    // Deletes the item and everything beneath it, with the contents of its files.
    bool deleteTree(const QByteArray &owner, qint64 id);

    QString contentPath(const QByteArray &fsName) const;
    QString tempDir() const;
    static QByteArray newFsName();
    static bool isValidName(const QByteArray &name);

private:
    Item readItem(const QSqlQuery &query) const;

    QString dataDir;
    QString connectionName;
    QSqlDatabase db;
};
