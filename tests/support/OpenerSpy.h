// Counts how often code asks for a mount-driver writer and never gives one,
// for as long as it lives: code that must stay read-only asks zero times,
// and anything that still asked fails its open instead of writing.
#pragma once

#include <memory>

#include "IMountDriverWriter.h"

namespace testutil {

struct OpenerSpy {
  int asked = 0;
  MountDriverOpener old;
  OpenerSpy() {
    old = SetMountDriverOpener([this](int, uint32_t* error) -> std::unique_ptr<IMountDriverWriter> {
      ++asked;
      if (error) *error = 5;
      return nullptr;
    });
  }
  ~OpenerSpy() { SetMountDriverOpener(old); }
  OpenerSpy(const OpenerSpy&) = delete;
  OpenerSpy& operator=(const OpenerSpy&) = delete;
};

}  // namespace testutil
