#include "PopupWindowButton.h"

namespace {
const char* const kStyle =
    "QPushButton{border-color: rgb(253,253,126); color: rgb(58,70,110); font-family:'Segoe UI'; font-size: 15px; "
    "background-color: rgb(253,253,126); border-style: solid; border-radius: 18; }"
    "QPushButton:hover{background-color:rgb(253,253,146); color:rgb(58,70,110);}"
    "QPushButton:pressed{background-color:rgb(227,227,113); color:rgb(58,70,110);}"
    "QPushButton:disabled {background-color: rgb(119,127,115); color:rgb(255,255,255); }";
}

PopupWindowButton::PopupWindowButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setStyleSheet(QString::fromLatin1(kStyle));
}

PopupWindowButton::PopupWindowButton(QWidget* parent) : PopupWindowButton(QString(), parent) {}
