#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class PasswordDialog;
}

// Asks for a file's new download password. The field starts empty: the
// current password is never shown back.
class PasswordDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PasswordDialog)

public:
    explicit PasswordDialog(QWidget *parent = nullptr);
    ~PasswordDialog() override;

    void cleanPassword();
    QString getNewPassword() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::PasswordDialog> m_ui;
};
