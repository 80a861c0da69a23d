#include "messagesdialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace bibsources {

namespace {

// The name is enough to tell files apart; Copy gives the whole path.
QString fileColumn(const std::string &inputPath)
{
    return inputPath == "-" ? QString::fromStdString(inputName(inputPath))
                            : QFileInfo(QString::fromStdString(inputPath)).fileName();
}

QString lineColumn(const Message &message)
{
    if (message.line <= 0) {
        return {};
    }
    return message.lastLine > message.line
        ? QStringLiteral("%1\u2013%2").arg(message.line).arg(message.lastLine)
        : QString::number(message.line);
}

} // namespace

MessagesDialog::MessagesDialog(std::vector<InputMessage> messages, QWidget *parent)
    : QDialog(parent)
    , messages(std::move(messages))
    , table(new QTableWidget(int(this->messages.size()), 3, this))
{
    setWindowTitle(tr("Parser messages"));
    resize(640, 320);
    table->setHorizontalHeaderLabels({tr("File"), tr("Line"), tr("Message")});
    table->setAccessibleName(tr("Parser messages"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < table->rowCount(); ++row) {
        const InputMessage &shown = this->messages[size_t(row)];
        table->setItem(row, 0, new QTableWidgetItem(fileColumn(shown.inputPath)));
        table->setItem(row, 1, new QTableWidgetItem(lineColumn(shown.message)));
        table->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(shown.message.text)));
    }
    table->resizeColumnsToContents();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *copyButton = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    connect(copyButton, &QPushButton::clicked, this, &MessagesDialog::copy);
    // The table would copy only the text of its current cell.
    table->installEventFilter(this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
}

bool MessagesDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == table && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        copy();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void MessagesDialog::copy() const
{
    const bool anySelected = table->selectionModel()->hasSelection();
    QString lines;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!anySelected || table->selectionModel()->isRowSelected(row)) {
            const InputMessage &shown = messages[size_t(row)];
            lines += QString::fromStdString(messageLine(shown.inputPath, shown.message)) + QLatin1Char('\n');
        }
    }
    QGuiApplication::clipboard()->setText(lines);
}

} // namespace bibsources
