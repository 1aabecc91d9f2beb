// The yardstick of the start-up benchmark: an empty QMainWindow of the main window's size,
// shown and run like the program's own window.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(1200, 600);
    window.show();
    return QApplication::exec();
}
