#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AddUrlDialog;
}

// Asks for an Internet address: for the service to fetch into the remote
// tree, or for a download into a local folder.
class AddUrlDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddUrlDialog)

public:
    explicit AddUrlDialog(QWidget *parent = nullptr);
    ~AddUrlDialog() override;

    void clearUrl();
    QString getUrl() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::AddUrlDialog> m_ui;
};
