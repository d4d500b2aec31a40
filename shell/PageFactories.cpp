#include "PageFactories.h"

#include <map>

namespace {

std::map<int, PageFactory>& Factories() {
  static std::map<int, PageFactory> factories;
  return factories;
}

}  // namespace

bool RegisterPageFactory(int index, PageFactory factory) {
  if (index < kFilePage || index > kInternetPage) return false;
  if (factory)
    Factories()[index] = std::move(factory);
  else
    Factories().erase(index);
  return true;
}

PageFactory GetPageFactory(int index) {
  auto it = Factories().find(index);
  return it == Factories().end() ? PageFactory() : it->second;
}
