#include "CBPQtMainWindow.h"

CBPQtMainWindow::CBPQtMainWindow(QWidget* parent, Qt::WindowFlags flags) : QMainWindow(parent, flags) {}

CBPQtMainWindow::~CBPQtMainWindow() = default;
