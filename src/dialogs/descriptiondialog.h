#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class DescriptionDialog;
}

// Asks for a file's new description (free text over several lines).
class DescriptionDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DescriptionDialog)

public:
    explicit DescriptionDialog(QWidget *parent = nullptr);
    ~DescriptionDialog() override;

    void setDescription(const QString &description);
    QString getNewDescription() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::DescriptionDialog> m_ui;
};
