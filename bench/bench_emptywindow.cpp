// The yardstick of the start-up benchmark: an empty QMainWindow of the main window's size,
// shown and run like the program's own window. With "--text" it also shows one menu and a
// status bar message: the least a window with text pays (the font database is loaded on the
// first text measured, which an empty window never does).

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>

#include <cstring>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) {
        window.menuBar()->addMenu(QStringLiteral("&File"));
        window.statusBar()->showMessage(QStringLiteral("Ready"));
    }
    window.resize(1200, 600);
    window.show();
    return QApplication::exec();
}
