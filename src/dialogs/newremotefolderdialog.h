#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class NewRemoteFolderDialog;
}

// Asks for the name of a new remote folder.
class NewRemoteFolderDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewRemoteFolderDialog)

public:
    explicit NewRemoteFolderDialog(QWidget *parent = nullptr);
    ~NewRemoteFolderDialog() override;

    void cleanFolderName();
    QString getNewFolderName() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::NewRemoteFolderDialog> m_ui;
};
