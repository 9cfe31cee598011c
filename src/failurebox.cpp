#include "failurebox.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {
constexpr char LogLink[] = "#log";
}

FailureBox::FailureBox(QWidget *window) : QObject(window), window(window) {}

FailureBox::~FailureBox()
{
    delete box;
}

void FailureBox::report(const QString &title, const QString &text, const QString &failureDetail)
{
    if (box) {
        ++moreFailed;
        updateInformativeText();
        return;
    }
    detail = failureDetail;
    moreFailed = 0;
    box = new QMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok, window);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *showLog = box->addButton(tr("Show log"), QMessageBox::ActionRole);
    connect(showLog, &QPushButton::clicked, this, &FailureBox::showLogRequested);
    updateInformativeText();
    // open(), not exec(): no nested event loop, so the next report cannot open a
    // second box inside this one.
    box->open();
}

void FailureBox::updateInformativeText()
{
    // Names come from the server and the user: escaped, and the label shows only
    // this text and its one link, never a resource a name might point to.
    QString informative = detail.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
    if (moreFailed > 0) {
        if (!informative.isEmpty())
            informative += QLatin1String("<br><br>");
        //: %1 is the link's target; keep the <a> markup around the link's text
        informative += tr("and %n more failed — <a href=\"%1\">Show log</a>", nullptr, moreFailed)
                           .arg(QLatin1String(LogLink));
    }
    box->setInformativeText(informative);
    auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    if (!label)
        return;
    label->setTextFormat(Qt::RichText);
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    if (label == linkedLabel)
        return;
    linkedLabel = label;
    connect(label, &QLabel::linkActivated, this, [this] {
        Q_EMIT showLogRequested();
        if (box)
            box->close();
    });
}
