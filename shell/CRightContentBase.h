// What every page of the page area is: an index and an Activate call made
// when the page area shows it.
#pragma once

class CRightContentBase {
 public:
  explicit CRightContentBase(int pageId) : m_pageId(pageId) {}
  virtual ~CRightContentBase() = default;
  // Called with the two values of the page-switch message when the page is shown.
  virtual void Activate(int, int) {}
  int PageId() const { return m_pageId; }

 private:
  int m_pageId;
};
