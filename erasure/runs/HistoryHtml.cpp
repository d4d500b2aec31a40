#include "HistoryHtml.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "EraseMethods.h"
#include "RunLog.h"

namespace {

const char* const kSep = " \t\t\t\t\t\t   ";
const char* const kCellSep = " \t\t\t\t\t\t\t ";
const char* const kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
size_t Utf8Length(const std::string& s, size_t i) {
  const unsigned char b = static_cast<unsigned char>(s[i]);
  size_t need;
  uint32_t cp;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 2;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 3;
    cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 4;
    cp = b & 0x07;
  } else {
    return 0;
  }
  if (i + need > s.size()) return 0;
  for (size_t k = 1; k < need; ++k) {
    const unsigned char c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if ((need == 3 && cp < 0x800) || (need == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;  // surrogates are not characters
  if (cp == 0xFFFE || cp == 0xFFFF) return 0;  // not allowed in XML
  return need;
}

}  // namespace

std::string HistoryHtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    size_t len = Utf8Length(text, i);
    if (len == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (len == 1) {
      switch (b) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&#39;";
          break;
        default:
          if (b < 0x20 && b != '\t' && b != '\n' && b != '\r')
            out += kReplacement;
          else
            out.push_back(static_cast<char>(b));
      }
    } else {
      out.append(text, i, len);
    }
    i += len;
  }
  return out;
}

std::vector<HistoryHtmlRow> HistoryRowsOf(const std::vector<EraseItem>& items) {
  std::vector<HistoryHtmlRow> rows;
  rows.reserve(items.size() + 1);
  rows.push_back({"Items", "Erasure Algorithm", "Result"});
  for (const EraseItem& item : items)
    rows.push_back({item.path, ErasureMethodName(item.algorithm), item.result == ERASE_ITEM_ERASED ? "Erased" : "Failed"});
  return rows;
}

std::string HistoryHtmlPage(const std::string& time, const std::vector<HistoryHtmlRow>& rows) {
  static const char* const kHead[] = {
      "<html xmlns=\"http://www.w3.org/1999/xhtml\">",
      "<head>",
      "<meta content=\"initial-scale=1.0,user-scalable=no,maximum-scale=1,width=device-width\" name=\"viewport\" />",
      "<meta content=\"telephone=no\" name=\"format-detection\" />",
      "<meta content=\"black\" name=\"apple-mobile-web-app-status-bar-style\" />",
      "<meta content=\"yes\" name=\"apple-mobile-web-app-capable\" />",
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />",
      "<title>Erasure History</title>",
      "<style>",
      "table,table tr th, table tr td { border:1px solid #2A304E; font-family:Segoe,  \"Segoe UI \",  \"DejaVu Sans "
      "\",  \"Trebuchet MS \", Verdana, sans-serif; }",
      "table { width: 800px; min-height: 25px; line-height: 25px; border-collapse: collapse; margin:0 auto; "
      "font-size:12px; color:#2A304E;}",
      "td { padding:4px 12px;}",
      "th { padding:4px 12px; background-color:#767C9A; color:#fff;}",
      ".title { background-color:#7FCFDC; text-align:center; color:#fff;}",
      "</style>",
      "</head>",
      "<body>",
      "<!-- toplink -->",
      "<table width=\"200\" border=\"1\">",
  };
  std::string page =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
      "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">";
  for (const char* piece : kHead) {
    page += kSep;
    page += piece;
  }
  page += std::string("<tr>\t\t\t\t\t\t\t <th colspan=\"3\">") + HistoryHtmlEscape(time) + "</th>" + kCellSep + "</tr>";
  for (const HistoryHtmlRow& row : rows) {
    page += row[0] == "Items" ? "<tr class=\"title\">\t\t\t\t\t\t\t " : "<tr>\t\t\t\t\t\t\t ";
    for (const std::string& cell : row) {
      page += "<td>" + HistoryHtmlEscape(cell) + "</td>";
      page += kCellSep;
    }
    page += "</tr>";
  }
  page += "</table> \t\t\t\t\t\t </body>  \t\t\t\t\t\t </html>";
  return page;
}

bool ExportHistoryHtml(const std::string& path, const std::string& time, const std::vector<HistoryHtmlRow>& rows) {
  const std::string page = HistoryHtmlPage(time, rows);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    LogError("history export: cannot create %s: errno %d", path.c_str(), errno);
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (done < page.size()) {
    ssize_t n = write(fd, page.data() + done, page.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  if (!ok) LogError("history export: writing %s failed: errno %d", path.c_str(), errno);
  return ok;
}
