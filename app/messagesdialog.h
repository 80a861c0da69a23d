#pragma once

#include <bibsources/conversion.h>

#include <QDialog>

#include <vector>

class QTableWidget;

namespace bibsources {

// One message of a run, with the input it is about.
struct InputMessage {
    std::string inputPath;
    Message message;
};

// What the parser and the converter said about the files of a run, as a
// table of file, line and text. Copy (the button or the shortcut) puts the
// selected rows, or all of them when none is selected, on the clipboard as
// the command prints them.
class MessagesDialog : public QDialog {
    Q_OBJECT

public:
    explicit MessagesDialog(std::vector<InputMessage> messages, QWidget *parent = nullptr);

    void copy() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::vector<InputMessage> messages;
    QTableWidget *table;
};

} // namespace bibsources
