#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QVariant>

// What the client knows about one file or folder in the user's storage: the values
// the server's list gives, plus the client-side state flags of pending changes.
// A plain value; the tree item that owns it guards it against concurrent access.
class RemoteFileInfo final
{
    Q_DECLARE_TR_FUNCTIONS(RemoteFileInfo)

public:
    RemoteFileInfo(quint64 id, quint64 parentId, bool isDir, const QString &name, quint64 size,
                   const QDateTime &date, bool uploaded);
    // date: seconds since 1970-01-01T00:00:00 UTC, as the server's list carries it.
    RemoteFileInfo(quint64 id, quint64 parentId, bool isDir, const QString &name, quint64 size,
                   quint32 date, bool uploaded);
    RemoteFileInfo(const RemoteFileInfo &other) = default;
    RemoteFileInfo(RemoteFileInfo &&other) noexcept = default;
    RemoteFileInfo &operator=(const RemoteFileInfo &other) = default;
    RemoteFileInfo &operator=(RemoteFileInfo &&other) noexcept = default;

    quint64 getId() const { return id; }
    void setId(quint64 value) { id = value; }
    quint64 getParentId() const { return parentId; }
    bool isDir() const { return itemIsDir; }
    QString getName() const { return name; }
    void setName(const QString &value) { name = value; }
    // A folder has no size of its own, whatever was stored.
    quint64 getSize() const { return itemIsDir ? 0 : fileSize; }
    void setSize(quint64 value) { fileSize = value; }
    QDateTime getDate() const { return fileDate.toLocalTime(); }
    // The same instant as getDate(), cheap enough for sorting large folders.
    qint64 getDateMSecs() const { return fileDate.toMSecsSinceEpoch(); }
    QString getUrl() const { return url; }
    void setUrl(const QString &value);
    QString getExternalDownloadUrl() const { return externalDownloadUrl; }
    void setExternalDownloadUrl(const QString &value) { externalDownloadUrl = value; }
    bool isUploaded() const { return itemIsUploaded; }
    void setUploaded(bool value) { itemIsUploaded = value; }
    bool isUrl() const { return itemIsUrl; }
    QString getDescription() const { return description; }
    void setDescription(const QString &value) { description = value; }
    bool isSearchable() const { return itemIsSearchable; }
    void setSearchable(bool value) { itemIsSearchable = value; }
    bool isPasswordModify() const { return itemPasswordModify; }
    void setPasswordModify() { itemPasswordModify = true; }
    bool isDeleted() const { return itemIsDeleted; }
    void setDeleted(bool value) { itemIsDeleted = value; }
    bool isFileAvailable() const { return itemIsAvailable; }
    void setFileAvailable(bool value) { itemIsAvailable = value; }
    QString getPassword() const { return password; }
    void setPassword(const QString &value) { password = value; }

    // The hidden top item and the user's root folder: no server id, no parent, and
    // nothing pending (a folder the user just created also has id 0, but is not uploaded).
    bool isRootRecord() const { return id == 0 && parentId == 0 && itemIsUploaded; }

    QString size() const;
    QString getFormattedDate() const;
    QVariant value(int column) const;

private:
    void initItem(quint64 id, quint64 parentId, bool isDir, const QString &name, quint64 size,
                  const QDateTime &date, bool uploaded);

    // The flags are kept together at the end, so a record takes no padding.
    quint64 id = 0;
    quint64 parentId = 0;
    QString name;
    QString url;
    QString externalDownloadUrl;
    quint64 fileSize = 0;
    QDateTime fileDate;
    QString description;
    QString password;
    bool itemIsDir = false;
    bool itemIsUrl = false;
    bool itemIsAvailable = true;
    bool itemIsUploaded = false;
    bool itemIsSearchable = true;
    bool itemIsDeleted = false;
    bool itemPasswordModify = false;
};
