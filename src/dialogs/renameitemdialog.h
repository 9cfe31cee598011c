#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class RenameItemDialog;
}

// Asks for the new name of a remote file or folder, starting from its current name.
class RenameItemDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RenameItemDialog)

public:
    explicit RenameItemDialog(QWidget *parent = nullptr);
    ~RenameItemDialog() override;

    void setItemName(const QString &name);
    QString getItemName() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::RenameItemDialog> m_ui;
};
