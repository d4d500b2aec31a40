// The XHTML page of one erasure-history run, as the history dialog exports
// it. Headless: the dialog collects the rows and calls ExportHistoryHtml.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "EraseItem.h"

// One table row: item text, method name, result text.
using HistoryHtmlRow = std::array<std::string, 3>;

// The rows the dialog shows for a run: the title row "Items" / "Erasure
// Algorithm" / "Result", then one row per item (its path, its method's name,
// "Erased" or "Failed").
std::vector<HistoryHtmlRow> HistoryRowsOf(const std::vector<EraseItem>& items);

// The whole page, UTF-8. Every text is escaped (& < > " ') and made valid
// XML text (bytes that are not UTF-8 and control characters become U+FFFD),
// so the page is well-formed whatever the names hold. A row whose first text
// is exactly "Items" is drawn as a title row.
std::string HistoryHtmlPage(const std::string& time, const std::vector<HistoryHtmlRow>& rows);

// Writes the page to path, replacing any file there. False when the file
// cannot be created or written whole.
bool ExportHistoryHtml(const std::string& path, const std::string& time, const std::vector<HistoryHtmlRow>& rows);

// text as XML character data: escaped and valid UTF-8 (see above).
std::string HistoryHtmlEscape(const std::string& text);
