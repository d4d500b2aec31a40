#include "Ext2Exceptions.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <typeinfo>

#include "RunLog.h"

const char* CStructuredException::what() const noexcept {
  switch (m_code) {
    case 0x80000001u:
      return "EXCEPTION_GUARD_PAGE";
    case 0x80000002u:
      return "EXCEPTION_DATATYPE_MISALIGNMENT";
    case 0x80000003u:
      return "EXCEPTION_BREAKPOINT";
    case 0x80000004u:
      return "EXCEPTION_SINGLE_STEP";
    case 0xC0000005u:
      return "EXCEPTION_ACCESS_VIOLATION";
    case 0xC0000006u:
      return "EXCEPTION_IN_PAGE_ERROR";
    case 0xC0000008u:
      return "EXCEPTION_INVALID_HANDLE";
    case 0xC000001Du:
      return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case 0xC0000025u:
      return "EXCEPTION_NONCONTINUABLE_EXCEPTION";
    case 0xC0000026u:
      return "EXCEPTION_INVALID_DISPOSITION";
    case 0xC000008Cu:
      return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case 0xC000008Du:
      return "EXCEPTION_FLT_DENORMAL_OPERAND";
    case 0xC000008Eu:
      return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case 0xC000008Fu:
      return "EXCEPTION_FLT_INEXACT_RESULT";
    case 0xC0000090u:
      return "EXCEPTION_FLT_INVALID_OPERATION";
    case 0xC0000091u:
      return "EXCEPTION_FLT_OVERFLOW";
    case 0xC0000092u:
      return "EXCEPTION_FLT_STACK_CHECK";
    case 0xC0000093u:
      return "EXCEPTION_FLT_UNDERFLOW";
    case 0xC0000094u:
      return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case 0xC0000095u:
      return "EXCEPTION_INT_OVERFLOW";
    case 0xC0000096u:
      return "EXCEPTION_PRIV_INSTRUCTION";
    case 0xC00000FDu:
      return "EXCEPTION_STACK_OVERFLOW";
    default:
      return "EXCEPTION_UNKNOWN";
  }
}

const char* Ext2SystemError::what() const noexcept {
  if (m_text.empty()) {
    char buf[256];
    const char* msg = strerror_r(m_code, buf, sizeof buf);
    m_text = (msg && *msg) ? msg : "unknown";
  }
  return m_text.c_str();
}

void InstallStructuredExceptionTranslator() {}

void AppendExt2ErrorLog(const char* text) {
  if (!text) return;
  FILE* f = fopen("Ext2Error.log", "ae");
  if (!f) return;
  fputs(text, f);
  fputc('\n', f);
  fclose(f);
}

namespace {
std::string TypeName(const std::exception& e) {
  const char* mangled = typeid(e).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), free);
  return status == 0 && name ? name.get() : mangled;
}
}  // namespace

void LogExt2Exception(const std::exception& e) {
  AppendExt2ErrorLog(TypeName(e).c_str());
  AppendExt2ErrorLog(e.what());
}

void ReportExt2Exception(const std::exception& e) {
  LogError("Ext2: %s", TypeName(e).c_str());
  LogError("Ext2: %s", e.what());
}
