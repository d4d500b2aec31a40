#include <gtest/gtest.h>

#include <QXmlStreamReader>

#include "HistoryHtml.h"
#include "TestUtil.h"

namespace {

struct ParsedPage {
  std::string heading;
  std::vector<std::vector<std::string>> rows;
  std::vector<bool> titleRow;
  std::string error;
};

ParsedPage Parse(const std::string& page) {
  ParsedPage out;
  QXmlStreamReader xml(QByteArray::fromStdString(page));
  std::string* cell = nullptr;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      if (xml.name() == QLatin1String("tr")) {
        out.rows.emplace_back();
        out.titleRow.push_back(xml.attributes().value("class") == QLatin1String("title"));
      } else if (xml.name() == QLatin1String("td") && !out.rows.empty()) {
        out.rows.back().emplace_back();
        cell = &out.rows.back().back();
      } else if (xml.name() == QLatin1String("th")) {
        cell = &out.heading;
      }
    } else if (xml.isCharacters() && cell) {
      *cell += xml.text().toString().toStdString();
    } else if (xml.isEndElement()) {
      cell = nullptr;
    }
  }
  if (xml.hasError()) out.error = xml.errorString().toStdString();
  return out;
}

TEST(HistoryHtml, HostileTextsAreEscapedAndThePageIsWellFormed) {
  const std::string hostile = "/tmp/<script>alert(\"x\")</script> & 'q' ]]> <!--";
  std::vector<EraseItem> items = {{hostile, 3, 0, 0},
                                  {"/tmp/bad\xFFname\x01.txt", 35, 0, 5},
                                  {"/tmp/\xE6\x97\xA5\xE6\x9C\xAC", 1, 0, 0}};
  const std::string page = HistoryHtmlPage("2024-03-02 18-30-05 <&>", HistoryRowsOf(items));
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_EQ(page.rfind("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"", 0), 0u);
  ParsedPage p = Parse(page);
  ASSERT_EQ(p.error, "") << page;
  EXPECT_EQ(p.heading, "2024-03-02 18-30-05 <&>");
  ASSERT_EQ(p.rows.size(), 5u);  // heading row, title row, three items
  EXPECT_TRUE(p.titleRow[1]);
  EXPECT_FALSE(p.titleRow[2]);
  EXPECT_EQ(p.rows[1], std::vector<std::string>({"Items", "Erasure Algorithm", "Result"}));
  EXPECT_EQ(p.rows[2], std::vector<std::string>({hostile, "U.S Army AR380-19", "Erased"}));
  EXPECT_EQ(p.rows[3], std::vector<std::string>({"/tmp/bad\xEF\xBF\xBDname\xEF\xBF\xBD.txt", "Peter Gutmann's algorithm",
                                                 "Failed"}));
  EXPECT_EQ(p.rows[4][0], "/tmp/\xE6\x97\xA5\xE6\x9C\xAC");
  EXPECT_EQ(p.rows[4][1], "HMG Infosec Standard 5");
}

TEST(HistoryHtml, ExportReplacesTheFileAndReportsFailure) {
  testutil::TempDir dir("html");
  const std::string out = dir.file("ErasureHistory(2024-03-01 09-00-00).html");
  testutil::WriteFile(out, std::string(200000, 'x'));
  auto rows = HistoryRowsOf({{"/a/b", 1, 0, 0}});
  ASSERT_TRUE(ExportHistoryHtml(out, "2024-03-01 09-00-00", rows));
  EXPECT_EQ(testutil::ReadFile(out), HistoryHtmlPage("2024-03-01 09-00-00", rows));
  EXPECT_FALSE(ExportHistoryHtml(dir.file("missing/folder/x.html"), "t", rows));
}

}  // namespace
