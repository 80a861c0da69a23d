#include "messagesdialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>

namespace bibsources {

ParserMessage splitMessage(const QString &message)
{
    static const QRegularExpression withLine(QStringLiteral("^(.*?), line (\\d+), (.*)$"));
    static const QRegularExpression withFile(QStringLiteral("^([^:]+): (.*)$"));
    static const QRegularExpression nearLine(QStringLiteral("\\bline (\\d+)\\b"));
    if (const auto match = withLine.match(message); match.hasMatch()) {
        return {match.captured(1), match.captured(2), match.captured(3)};
    }
    if (const auto match = withFile.match(message); match.hasMatch()) {
        // "refs.bib: entry near line 40 skipped: ..." names its line inside.
        return {match.captured(1), nearLine.match(match.captured(2)).captured(1), match.captured(2)};
    }
    return {{}, {}, message};
}

MessagesDialog::MessagesDialog(const QStringList &messages, QWidget *parent)
    : QDialog(parent)
    , messages(messages)
    , table(new QTableWidget(int(messages.size()), 3, this))
{
    setWindowTitle(tr("Parser messages"));
    resize(640, 320);
    table->setHorizontalHeaderLabels({tr("File"), tr("Line"), tr("Message")});
    table->setAccessibleName(tr("Parser messages"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < messages.size(); ++row) {
        const ParserMessage parts = splitMessage(messages.at(row));
        // The name is enough to tell files apart; Copy gives the whole path.
        table->setItem(row, 0, new QTableWidgetItem(QFileInfo(parts.file).fileName()));
        table->setItem(row, 1, new QTableWidgetItem(parts.line));
        table->setItem(row, 2, new QTableWidgetItem(parts.text));
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
    QStringList chosen;
    for (int row = 0; row < messages.size(); ++row) {
        if (table->selectionModel()->isRowSelected(row)) {
            chosen.append(messages.at(row));
        }
    }
    const QStringList &lines = chosen.isEmpty() ? messages : chosen;
    QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

} // namespace bibsources
