#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AboutDialog;
}

// The about box: program name, versions and build.
class AboutDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutDialog)

public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::AboutDialog> m_ui;
};
