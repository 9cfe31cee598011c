#pragma once

#include <QDialog>
#include <QMap>
#include <QVector>
#include <memory>

class ProgressFrame;

namespace Ui {
class TransferInfoDialog;
}

// The "Files Transfer Info" window: one row per running or just finished command,
// newest on top. A finished row keeps its final message until the next command
// starts; each start then removes the row that finished first.
class TransferInfoDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransferInfoDialog)

public:
    explicit TransferInfoDialog(QWidget *parent = nullptr);
    ~TransferInfoDialog() override;

    void createProgress(unsigned long long id, int progress, const QString &message);
    void setProgressValue(unsigned long long id, int progress, const QString &message,
                          const QString &time, const QString &speed);
    // Shows the final state and queues the row for removal; it stays visible.
    void deleteProgress(unsigned long long id, int progress, const QString &message);

protected:
    void changeEvent(QEvent *event) override;

private:
    void removeRow(unsigned long long id);
    void growToFitRow(ProgressFrame *frame);

    std::unique_ptr<Ui::TransferInfoDialog> m_ui;
    // The rows shown, by command id; they are children of the window.
    QMap<unsigned long long, ProgressFrame *> progressFrames;
    // Finished commands in finishing order, waiting for their rows to be removed.
    QVector<unsigned long long> markToDeleteProgressFrames;
};
