#pragma once

#include <QDialog>
#include <QStringList>

class QTableWidget;

namespace bibsources {

// One message of the parser, taken apart for a table. The parser writes
// "refs.bib, line 12, syntax error: ..."; a message in another shape keeps
// what it has ("refs.bib: 3 more parser messages not kept" has no line).
struct ParserMessage {
    QString file;
    QString line;
    QString text;
};
ParserMessage splitMessage(const QString &message);

// What the parser said about one file, as a table of file, line and text.
// Copy (the button or the shortcut) puts the selected rows, or all of them
// when none is selected, on the clipboard as the parser wrote them.
class MessagesDialog : public QDialog {
    Q_OBJECT

public:
    explicit MessagesDialog(const QStringList &messages, QWidget *parent = nullptr);

    void copy() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QStringList messages;
    QTableWidget *table;
};

} // namespace bibsources
