// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick of the window start benchmark: an empty Qt main window of a given size.
//
//   bench_bare_window width height
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    if (argc >= 3)
        window.setFixedSize(QString::fromLocal8Bit(argv[1]).toInt(),
                            QString::fromLocal8Bit(argv[2]).toInt());
    window.setWindowTitle(QStringLiteral("Leeres Fenster"));
    window.show();
    return app.exec();
}
