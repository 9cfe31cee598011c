#include "storage.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QVariant>

namespace {
const char itemColumns[] =
    "id, is_dir, name, parent, size, date, description, searchable, password, fs_name, available";

// A blob bound from an empty QByteArray would be NULL; keep it an empty blob.
QVariant blob(const QByteArray &bytes)
{
    return bytes.isNull() ? QVariant(QByteArray("")) : QVariant(bytes);
}
}

Storage::Storage(const QString &dataDir)
    : dataDir(dataDir)
    , connectionName(QStringLiteral("storage-%1").arg(quintptr(this)))
{
}

Storage::~Storage()
{
    if (db.isValid()) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
    }
}

bool Storage::open(QString *error)
{
    QDir dir(dataDir);
    if (!dir.mkpath(QStringLiteral("files")) || !dir.mkpath(QStringLiteral("tmp"))) {
        *error = QStringLiteral("cannot create the data folder %1").arg(dataDir);
        return false;
    }
    QDir tmp(tempDir());
    for (const QString &name : tmp.entryList(QDir::Files | QDir::Hidden))
        tmp.remove(name);

    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(dir.filePath(QStringLiteral("pelorin.sqlite")));
    if (!db.open()) {
        *error = QStringLiteral("cannot open the database: %1").arg(db.lastError().text());
        return false;
    }
    const char *const statements[] = {
        "PRAGMA foreign_keys = ON",
        "PRAGMA journal_mode = WAL",
        "PRAGMA synchronous = NORMAL",
        "CREATE TABLE IF NOT EXISTS accounts (login BLOB PRIMARY KEY, password BLOB NOT NULL)",
        "CREATE TABLE IF NOT EXISTS items ("
        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " owner BLOB NOT NULL REFERENCES accounts(login),"
        " is_dir INTEGER NOT NULL, name BLOB NOT NULL, parent INTEGER NOT NULL,"
        " size INTEGER NOT NULL DEFAULT 0, date INTEGER NOT NULL,"
        " description BLOB NOT NULL DEFAULT '', searchable INTEGER NOT NULL DEFAULT 0,"
        " password BLOB NOT NULL DEFAULT '', fs_name BLOB NOT NULL DEFAULT '',"
        " available INTEGER NOT NULL DEFAULT 1,"
        " UNIQUE (owner, parent, name))",
        "CREATE INDEX IF NOT EXISTS items_parent ON items (owner, parent)",
    };
    QSqlQuery query(db);
    for (const char *statement : statements) {
        if (!query.exec(QString::fromLatin1(statement))) {
            *error = QStringLiteral("cannot prepare the database: %1").arg(query.lastError().text());
            return false;
        }
    }
    return true;
}

bool Storage::setAccount(const QByteArray &login, const QByteArray &password)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO accounts (login, password) VALUES (?, ?)"
                                 " ON CONFLICT (login) DO UPDATE SET password = excluded.password"));
    query.addBindValue(blob(login));
    query.addBindValue(blob(password));
    return query.exec();
}

bool Storage::hasAccount(const QByteArray &login)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT 1 FROM accounts WHERE login = ?"));
    query.addBindValue(blob(login));
    return query.exec() && query.next();
}

Storage::Auth Storage::authenticate(const QByteArray &login, const QByteArray &password)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT password FROM accounts WHERE login = ?"));
    query.addBindValue(blob(login));
    if (!query.exec() || !query.next())
        return Auth::UnknownLogin;
    return query.value(0).toByteArray() == password ? Auth::Ok : Auth::WrongPassword;
}

Storage::Item Storage::readItem(const QSqlQuery &query) const
{
    Item item;
    item.id = query.value(0).toLongLong();
    item.isDir = query.value(1).toBool();
    item.name = query.value(2).toByteArray();
    item.parent = query.value(3).toLongLong();
    item.size = query.value(4).toLongLong();
    item.date = query.value(5).toLongLong();
    item.description = query.value(6).toByteArray();
    item.searchable = query.value(7).toBool();
    item.password = query.value(8).toByteArray();
    item.fsName = query.value(9).toByteArray();
    item.available = query.value(10).toBool();
    return item;
}

QList<Storage::Item> Storage::listItems(const QByteArray &owner)
{
    QList<Item> items;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM items WHERE owner = ? ORDER BY id").arg(QLatin1String(itemColumns)));
    query.addBindValue(blob(owner));
    if (query.exec()) {
        while (query.next())
            items.append(readItem(query));
    }
    return items;
}

std::optional<Storage::Item> Storage::item(const QByteArray &owner, qint64 id)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT %1 FROM items WHERE owner = ? AND id = ?").arg(QLatin1String(itemColumns)));
    query.addBindValue(blob(owner));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return readItem(query);
}

bool Storage::isFolder(const QByteArray &owner, qint64 id)
{
    if (id == 0)
        return true;
    const auto found = item(owner, id);
    return found && found->isDir;
}

bool Storage::nameTaken(const QByteArray &owner, qint64 parent, const QByteArray &name, qint64 exceptId)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT 1 FROM items WHERE owner = ? AND parent = ? AND name = ? AND id <> ?"));
    query.addBindValue(blob(owner));
    query.addBindValue(parent);
    query.addBindValue(blob(name));
    query.addBindValue(exceptId);
    return query.exec() && query.next();
}

bool Storage::isWithin(const QByteArray &owner, qint64 id, qint64 ancestor)
{
    // Walk up from `id`; the parent links of stored items never loop because a
    // folder is never moved beneath itself, but a bound keeps a damaged database
    // from hanging the server.
    for (int depth = 0; depth < 100000; ++depth) {
        if (id == ancestor)
            return true;
        if (id == 0)
            return false;
        const auto found = item(owner, id);
        if (!found)
            return false;
        id = found->parent;
    }
    return true;
}

qint64 Storage::insertItem(const QByteArray &owner, const Item &item)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO items (owner, is_dir, name, parent, size, date, description, searchable, password,"
        " fs_name, available) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(blob(owner));
    query.addBindValue(item.isDir ? 1 : 0);
    query.addBindValue(blob(item.name));
    query.addBindValue(item.parent);
    query.addBindValue(item.size);
    query.addBindValue(item.date);
    query.addBindValue(blob(item.description));
    query.addBindValue(item.searchable ? 1 : 0);
    query.addBindValue(blob(item.password));
    query.addBindValue(blob(item.fsName));
    query.addBindValue(item.available ? 1 : 0);
    if (!query.exec())
        return 0;
    return query.lastInsertId().toLongLong();
}

qint64 Storage::insertFile(const QByteArray &owner, Item &item, QTemporaryFile &file)
{
    item.fsName = newFsName();
    const QString path = contentPath(item.fsName);
    if (!file.rename(path))
        return 0;
    file.setAutoRemove(false);
    const qint64 id = insertItem(owner, item);
    if (id == 0)
        QFile::remove(path);
    return id;
}

bool Storage::moveItem(const QByteArray &owner, qint64 id, qint64 parent, const QByteArray &name)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE items SET parent = ?, name = ? WHERE owner = ? AND id = ?"));
    query.addBindValue(parent);
    query.addBindValue(blob(name));
    query.addBindValue(blob(owner));
    query.addBindValue(id);
    return query.exec() && query.numRowsAffected() == 1;
}

bool Storage::setParams(const QByteArray &owner, qint64 id, const QByteArray &description, bool searchable,
                        const std::optional<QByteArray> &password)
{
    QSqlQuery query(db);
    if (password) {
        query.prepare(QStringLiteral(
            "UPDATE items SET description = ?, searchable = ?, password = ? WHERE owner = ? AND id = ?"));
    } else {
        query.prepare(QStringLiteral("UPDATE items SET description = ?, searchable = ? WHERE owner = ? AND id = ?"));
    }
    query.addBindValue(blob(description));
    query.addBindValue(searchable ? 1 : 0);
    if (password)
        query.addBindValue(blob(*password));
    query.addBindValue(blob(owner));
    query.addBindValue(id);
    return query.exec() && query.numRowsAffected() == 1;
}

bool Storage::deleteTree(const QByteArray &owner, qint64 id)
{
    const QString subtree = QStringLiteral(
        "WITH RECURSIVE sub(id) AS (SELECT id FROM items WHERE owner = :owner AND id = :id"
        " UNION SELECT items.id FROM items JOIN sub ON items.parent = sub.id WHERE items.owner = :owner) ");
    if (!db.transaction())
        return false;
    QSqlQuery query(db);
    query.prepare(subtree + QStringLiteral("SELECT fs_name FROM items WHERE id IN sub AND is_dir = 0 AND fs_name <> ''"));
    query.bindValue(QStringLiteral(":owner"), blob(owner));
    query.bindValue(QStringLiteral(":id"), id);
    QList<QByteArray> contents;
    if (!query.exec()) {
        db.rollback();
        return false;
    }
    while (query.next())
        contents.append(query.value(0).toByteArray());
    query.prepare(subtree + QStringLiteral("DELETE FROM items WHERE id IN sub"));
    query.bindValue(QStringLiteral(":owner"), blob(owner));
    query.bindValue(QStringLiteral(":id"), id);
    if (!query.exec() || query.numRowsAffected() < 1 || !db.commit()) {
        db.rollback();
        return false;
    }
    // The rows are gone first: a crash in between leaves an unlisted file, never a
    // listed item without its content.
    for (const QByteArray &fsName : contents)
        QFile::remove(contentPath(fsName));
    return true;
}

QString Storage::contentPath(const QByteArray &fsName) const
{
    return QDir(dataDir).filePath(QStringLiteral("files/") + QString::fromLatin1(fsName));
}

QString Storage::tempDir() const
{
    return QDir(dataDir).filePath(QStringLiteral("tmp"));
}

QByteArray Storage::newFsName()
{
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex();
}

bool Storage::isValidName(const QByteArray &name)
{
    // The list has no escaping, and names become paths on the client's disk.
    if (name.isEmpty() || name.size() > 255 || name == "." || name == "..")
        return false;
    for (char c : name) {
        if (c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == '/')
            return false;
    }
    return true;
}
