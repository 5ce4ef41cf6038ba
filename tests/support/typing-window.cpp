// typing-window TITLE X Y
//
// Another program's window for the tests of the panel's keeper: one text
// field in a window titled TITLE at X, Y. Return prints the field's text as
// one line on standard output and ends the program; what was typed into it
// is what it got.

#include <QApplication>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 4) {
        std::fputs("usage: typing-window TITLE X Y\n", stderr);
        return 2;
    }
    QWidget window;
    window.setWindowTitle(arguments.at(1));
    auto* field = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    QObject::connect(field, &QLineEdit::returnPressed, &application, [field] {
        std::fputs((field->text() + QLatin1Char('\n')).toUtf8().constData(), stdout);
        std::fflush(stdout);
        QApplication::quit();
    });
    window.setGeometry(arguments.at(2).toInt(), arguments.at(3).toInt(), 320, 60);
    window.show();
    field->setFocus();
    return application.exec();
}
