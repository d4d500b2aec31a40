// Free functions many windows share: size and method texts, folder sizes,
// small string and path operations, widget fonts, colours and state icons.
#pragma once

#include <QColor>
#include <QIcon>
#include <QSize>
#include <QString>
#include <QVector>
#include <string>

#include "FolderSize.h"

class QLabel;
class QStringList;
class QWidget;

// "" for 0, else "%1 GB" / "%1 MB" / "%1 KB" with two decimals.
QString FormatSizeText(quint64 bytes);
// The overwrite method's name by its pass count (1, 3, 7, 35).
QString GetAlgorithmName(uint passes);
// A 3-character drive root stays as it is; else the part after the last "/".
QString GetFileNameFromPath(const QString& path);
// An icon location ("path",index) without its index and quotes.
std::string StripIconPath(std::string location);
// "C:\x\app.exe" -> "app": the last path part without its 4-character
// suffix; empty when that part is shorter than 5 characters. Both "\" and
// "/" separate parts.
std::string GetExeBaseName(const std::string& path);
// The part before the last separator; the text itself when it has none.
std::string GetParentFolder(const std::string& path);
// Removes one trailing `ch`; with `again`, then one further trailing "\".
QString StripTrailingChar(const QString& text, char ch, bool again);
QString StripTrailingBackslash(const QString& text);
bool IsUncPath(const QString& path);
// `relative` (its "../" dropped) placed in the parent of the current folder.
QString ResolveRelativeToParentDir(const QString& relative);

// "Segoe UI" at a pixel size; a null widget is left alone.
void SetWidgetFont(QWidget* w, int pixelSize);
// A fresh palette whose WindowText is `c`; a null widget is left alone.
void SetWidgetTextColor(QWidget* w, const QColor& c);
// One icon from a list of image files, file i registered for icon mode i in
// both states. Lists are given in button-state order (normal, hover,
// pressed, disabled): paint them with StateIconMode.
QIcon MakeStateIcon(const QVector<QString>& paths);
// The mode under which MakeStateIcon stored the image of button state
// `state` (0 normal, 1 hover, 2 pressed, 3 disabled).
QIcon::Mode StateIconMode(int state);
QSize GetIconActualSize(const QIcon& icon);

// Width of a list column that shows every size FormatSizeText writes (up to
// five digits before the point) and each of `others` whole, in `view`'s font
// with the view's cell margins.
int SizeColumnWidth(QWidget* view, const QStringList& others = QStringList());
// A word-wrapped label of fixed width gets the height its text needs (at
// least), so that no line of it is cut by the layout.
void FitWrappedLabelHeight(QLabel* label);

// Style sheets of the dialogs' confirming and cancelling push buttons.
QString PrimaryButtonStyle();
QString SecondaryButtonStyle();
