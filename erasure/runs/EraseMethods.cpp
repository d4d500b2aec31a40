#include "EraseMethods.h"

int ErasePassesOf(int passes) {
  switch (passes) {
    case 3:
    case 7:
    case 35:
      return passes;
    default:
      return 1;
  }
}

const char* ErasureMethodName(int passes) {
  switch (passes) {
    case 3:
      return "U.S Army AR380-19";
    case 7:
      return "DoD 5220.22-M ECE";
    case 35:
      return "Peter Gutmann's algorithm";
    default:
      return "HMG Infosec Standard 5";
  }
}

bool ErasureMethodVerifies(int passes) { return passes == 3 || passes == 7; }
