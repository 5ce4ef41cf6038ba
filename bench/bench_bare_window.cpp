// The floor for the panel's start-up: a bare Qt window (an empty QWidget
// with the panel's style and a title), shown as soon as the application
// object exists. scripts/bench-panel.sh times it from its start to its
// window being shown, the same way it times the panel, and quotes the
// panel's figure as a multiple of it.
//
//   bench_bare_window TITLE
//
// Not a test: it runs until it is ended.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QWidget window;
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1])
                                   : QStringLiteral("bench_bare_window"));
    window.resize(360, 720);
    window.show();
    return application.exec();
}
