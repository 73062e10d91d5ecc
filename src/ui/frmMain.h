// The program's one window.
#pragma once

#include <QMainWindow>

namespace klangdorn
{

class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
};

} // namespace klangdorn
