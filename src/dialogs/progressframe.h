#pragma once

#include <QFrame>
#include <memory>

namespace Ui {
class ProgressFrame;
}

// One row of the transfer window: the command's message, its estimated time and
// speed texts, and a progress bar.
class ProgressFrame final : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressFrame)

public:
    explicit ProgressFrame(QWidget *parent = nullptr);
    ~ProgressFrame() override;

    void setLabelText(const QString &message, const QString &time, const QString &speed);
    void setProgressValue(int value);

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::ProgressFrame> m_ui;
};
