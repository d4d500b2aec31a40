// Owning pointer of the plug-in object model: releases its object through
// the object's reference count.
#pragma once

template <typename T>
class CZqAutoPtr {
 public:
  CZqAutoPtr() = default;
  explicit CZqAutoPtr(T* object) : m_object(object) {}
  virtual ~CZqAutoPtr() { Reset(); }
  CZqAutoPtr(const CZqAutoPtr&) = delete;
  CZqAutoPtr& operator=(const CZqAutoPtr&) = delete;

  void Reset(T* object = nullptr) {
    if (m_object) m_object->Release();
    m_object = object;
  }
  T* Get() const { return m_object; }
  T* operator->() const { return m_object; }
  explicit operator bool() const { return m_object != nullptr; }

 private:
  T* m_object = nullptr;
};
