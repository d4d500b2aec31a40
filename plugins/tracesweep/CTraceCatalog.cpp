#include "CTraceCatalog.h"

#include <QDomDocument>
#include <QFile>
#include <QStringList>

namespace {

bool ReadDocument(const std::string& path, QDomDocument& doc, std::string& error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot read " + path;
    return false;
  }
  QString message;
  int line = 0;
  if (!doc.setContent(&file, &message, &line)) {
    error = path + ":" + std::to_string(line) + ": " + message.toStdString();
    return false;
  }
  return true;
}

std::vector<QDomElement> Children(const QDomElement& parent, const QString& tag) {
  std::vector<QDomElement> out;
  for (QDomElement e = parent.firstChildElement(tag); !e.isNull(); e = e.nextSiblingElement(tag)) out.push_back(e);
  return out;
}

std::vector<std::string> Words(const QString& text) {
  std::vector<std::string> out;
  for (const QString& w : text.split(QChar(' '), Qt::SkipEmptyParts)) out.push_back(w.toStdString());
  return out;
}

bool ParseResId(const QDomElement& e, uint32_t& resId) {
  bool ok = false;
  resId = e.attribute("resid").toUInt(&ok);
  return ok;
}

// Replaces every "{name}" by the root's value of name; unknown fields stay
// (and make the pattern unsafe, so the file is refused).
std::string Expand(const QString& pattern, const QDomNamedNodeMap& vars) {
  QString out = pattern.trimmed();
  for (int i = 0; i < vars.count(); ++i) {
    QDomAttr a = vars.item(i).toAttr();
    out.replace("{" + a.name() + "}", a.value());
  }
  return out.toStdString();
}

}  // namespace

bool CTraceCatalog::IsSafePattern(const std::string& pattern) {
  if (pattern.empty() || pattern.front() == '/' || pattern.back() == '/') return false;
  if (pattern.find_first_of("{}\\") != std::string::npos) return false;
  size_t start = 0;
  while (start <= pattern.size()) {
    size_t end = pattern.find('/', start);
    if (end == std::string::npos) end = pattern.size();
    const std::string part = pattern.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

TraceText CTraceCatalog::Text(uint32_t resId) const {
  auto it = m_texts.find(resId);
  if (it != m_texts.end()) return it->second;
  return {"#" + std::to_string(resId), ""};
}

bool CTraceCatalog::Load(const std::string& configPath, const std::string& resIdTextPath, std::string& error) {
  m_groups.clear();
  m_texts.clear();
  return LoadTexts(resIdTextPath, error) && LoadConfig(configPath, error);
}

bool CTraceCatalog::LoadTexts(const std::string& path, std::string& error) {
  QDomDocument doc;
  if (!ReadDocument(path, doc, error)) return false;
  QDomElement root = doc.documentElement();
  if (root.tagName() != "ResIDText") {
    error = path + ": not a text table";
    return false;
  }
  for (const QDomElement& t : Children(root, "Text")) {
    uint32_t id = 0;
    bool ok = false;
    id = t.attribute("id").toUInt(&ok);
    if (!ok) {
      error = path + ": text without a numeric id";
      return false;
    }
    m_texts[id] = {t.text().trimmed().toStdString(), t.attribute("icon").toStdString()};
  }
  return true;
}

bool CTraceCatalog::LoadConfig(const std::string& path, std::string& error) {
  QDomDocument doc;
  if (!ReadDocument(path, doc, error)) return false;
  QDomElement root = doc.documentElement();
  if (root.tagName() != "TraceSweep") {
    error = path + ": not a traces catalogue";
    return false;
  }
  std::map<QString, QDomElement> templates;
  for (const QDomElement& t : Children(root, "Template")) templates[t.attribute("id")] = t;

  auto fail = [&](const std::string& what) {
    error = path + ": " + what;
    return false;
  };
  auto checkPattern = [&](const std::string& p) { return IsSafePattern(p) || fail("unsafe pattern \"" + p + "\""); };

  for (const QDomElement& g : Children(root, "Group")) {
    TraceGroupDef group;
    group.id = g.attribute("id").toStdString();
    if (!ParseResId(g, group.resId)) return fail("group " + group.id + " without resid");
    for (const QDomElement& c : Children(g, "Category")) {
      TraceCategoryDef cat;
      cat.id = c.attribute("id").toStdString();
      if (!ParseResId(c, cat.resId)) return fail("category " + cat.id + " without resid");
      cat.processes = Words(c.attribute("processes"));
      QDomElement body = c;
      if (c.hasAttribute("template")) {
        auto it = templates.find(c.attribute("template"));
        if (it == templates.end()) return fail("category " + cat.id + ": unknown template");
        body = it->second;
      }
      // Each root gives the values of the "{name}" fields; without roots the patterns stand as written.
      std::vector<QDomNamedNodeMap> roots;
      for (const QDomElement& r : Children(c, "Root")) roots.push_back(r.attributes());
      if (roots.empty()) roots.push_back(QDomNamedNodeMap());

      for (const QDomElement& d : Children(body, "Detect"))
        for (const auto& vars : roots) {
          cat.detect.push_back(Expand(d.text(), vars));
          if (!checkPattern(cat.detect.back())) return false;
        }
      for (const QDomElement& e : Children(body, "Entry")) {
        TraceEntryDef entry;
        entry.id = cat.id + "." + e.attribute("id").toStdString();
        if (!ParseResId(e, entry.resId)) return fail("entry " + entry.id + " without resid");
        entry.checked = e.attribute("checked", "1") != "0";
        for (const auto& vars : roots) {
          for (const QDomElement& p : Children(e, "Path")) {
            entry.paths.push_back(Expand(p.text(), vars));
            if (!checkPattern(entry.paths.back())) return false;
          }
          for (const QDomElement& d : Children(e, "Database")) {
            TraceDatabaseRule rule;
            rule.pattern = Expand(d.attribute("path"), vars);
            if (!checkPattern(rule.pattern)) return false;
            rule.measureTables = Words(d.attribute("measure"));
            for (const QDomElement& s : Children(d, "Sql"))
              rule.steps.push_back(
                  {s.text().trimmed().toStdString(), Words(s.attribute("requires")), Words(s.attribute("unless"))});
            entry.databases.push_back(std::move(rule));
          }
        }
        cat.entries.push_back(std::move(entry));
      }
      group.categories.push_back(std::move(cat));
    }
    m_groups.push_back(std::move(group));
  }
  if (m_groups.empty()) return fail("no groups");
  return true;
}
