// SPDX-License-Identifier: GPL-3.0-or-later
// The yardsticks of the window start benchmark: an empty Qt main window of a given size, or
// one that shows a label and a button, the least a window with words does (fontconfig, Qt's
// font database, a font for each).
//
//   bench_bare_window [--words] width height
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStringList>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    const bool words = arguments.removeAll(QStringLiteral("--words")) > 0;
    QMainWindow window;
    if (arguments.size() >= 2)
        window.setFixedSize(arguments[0].toInt(), arguments[1].toInt());
    window.setWindowTitle(QStringLiteral("Leeres Fenster"));
    if (words) {
        auto* central = new QWidget(&window);
        auto* row = new QHBoxLayout(central);
        row->addWidget(new QLabel(QStringLiteral("Quelldatei:"), central));
        row->addWidget(new QPushButton(QStringLiteral("Transcode"), central));
        window.setCentralWidget(central);
    }
    window.show();
    return app.exec();
}
