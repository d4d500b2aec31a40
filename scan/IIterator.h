// An iterator over a list the iterator does not own.
#pragma once

#include <list>

template <class T>
class IIterator {
 public:
  virtual ~IIterator() = default;
  virtual void First() = 0;
  virtual void Next() = 0;
  virtual bool IsDone() const = 0;
  virtual T CurrentItem() const = 0;
};

template <class T>
class ListIterator : public IIterator<T> {
 public:
  explicit ListIterator(const std::list<T>* list) : m_list(list) {
    if (m_list) m_pos = m_list->begin();
  }
  void First() override {
    if (m_list) m_pos = m_list->begin();
  }
  void Next() override {
    if (!IsDone()) ++m_pos;
  }
  bool IsDone() const override { return !m_list || m_pos == m_list->end(); }
  // T{} when done.
  T CurrentItem() const override { return IsDone() ? T{} : *m_pos; }

 private:
  const std::list<T>* m_list;
  typename std::list<T>::const_iterator m_pos;
};
