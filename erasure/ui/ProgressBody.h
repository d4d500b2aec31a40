// The body the erase progress dialogs share, top to bottom: an empty line
// 410 px wide, the status label behind a 10 px indent ("Segoe UI" 14 px,
// rgb(51,51,51), 410 px wide), the progress widget (no percent text, the
// given caption on its left) and a 60 px gap. The dialog adds its Cancel
// button below and puts the layout into its content.
#pragma once

#include <QString>

class CProgressWidget;
class QLabel;
class QVBoxLayout;

struct ProgressBody {
  QVBoxLayout* layout = nullptr;
  QLabel* status = nullptr;
  CProgressWidget* progress = nullptr;
};

ProgressBody BuildProgressBody(const QString& status, const QString& caption);
