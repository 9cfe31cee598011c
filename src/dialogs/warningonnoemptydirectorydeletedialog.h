#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class WarningOnNoEmptyDirectoryDeleteDialog;
}

// Confirms the deletion of a remote folder that still holds items. Yes
// accepts; the check box lets the user switch these confirmations off.
class WarningOnNoEmptyDirectoryDeleteDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WarningOnNoEmptyDirectoryDeleteDialog)

public:
    explicit WarningOnNoEmptyDirectoryDeleteDialog(QWidget *parent = nullptr);
    ~WarningOnNoEmptyDirectoryDeleteDialog() override;

    void clearFlag();
    // True when the user asked not to be warned again.
    bool getFlag() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::WarningOnNoEmptyDirectoryDeleteDialog> m_ui;
};
