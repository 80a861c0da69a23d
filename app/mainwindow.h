#pragma once

#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}

namespace bibsources {

class Controller;
class DragView;

// The window loaded from mainwindow.ui, with the controller that lives beside
// it. Constructing it does what loading a window resource does: creates the
// objects, connects the controller's dragView outlet and the Convert button
// and menu entry to convertBibTex, then wakes the controller.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    Controller *controller() const;
    DragView *dragView() const;

    // Hands path to the drop target exactly as a drop of that one file
    // would: same acceptance rule, same log line, same pictures.
    void openFile(const QString &path);

    // What the About box says, with the program's version.
    static QString aboutText();

private:
    void chooseFile();
    void showAbout();

    std::unique_ptr<Ui::MainWindow> ui;
    Controller *windowController;
};

} // namespace bibsources
