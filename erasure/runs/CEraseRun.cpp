#include "CEraseRun.h"

#include "CHistoryDataBase.h"
#include "EraseMethods.h"
#include "EraseResult.h"
#include "RunLog.h"
#include "VolumeLocation.h"

CEraseRun::CEraseRun(int mode) : m_mode(mode) {}

CEraseRun::~CEraseRun() {
  Join();
}

void CEraseRun::SetPasses(int passes) {
  m_passes = ErasePassesOf(passes);
}

bool CEraseRun::Verifies() const {
  return ErasureMethodVerifies(m_passes);
}

void CEraseRun::Run() {
  m_finished.store(false);
  m_message.clear();
  m_result = Execute();
  LogInfo("%s: ended with %d%s%s", LogName().c_str(), m_result, m_message.empty() ? "" : ": ", m_message.c_str());
  m_time = CHistoryDataBase::NowText();
  if (!m_historyPath.empty()) CHistoryDataBase(m_historyPath).InsertBatch(HistoryRows(), m_passes, m_time.c_str());
  m_finished.store(true);
  if (m_observer) m_observer->Done(m_result, m_result == EraseCancelledResult(m_mode));
}

void CEraseRun::Start() {
  Join();
  m_finished.store(false);
  m_thread = std::thread([this] { Run(); });
}

void CEraseRun::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void CEraseRun::CancelAndJoin() {
  if (m_thread.joinable() && !m_finished.load()) Cancel();
  Join();
}

int CEraseRun::Fail(int result, const std::string& why) {
  m_message = why;
  if (result == EraseCancelledResult(m_mode))
    LogInfo("%s: cancelled", LogName().c_str());
  else
    LogError("%s: %s", LogName().c_str(), why.c_str());
  return result;
}

std::string CEraseRun::VolumeHistoryName(char letter) const {
  std::string name(1, letter);
  platform::VolumeLocation where;
  std::string node;
  if (platform::ResolveDriveLetter(letter, &where))
    node = !where.devicePath.empty() ? where.devicePath
                                     : where.imagePath + " at byte " + std::to_string(where.byteOffset);
  if (node.empty() && m_volumeLabel.empty()) return name;
  name += " (";
  name += node;
  if (!node.empty() && !m_volumeLabel.empty()) name += ", ";
  name += m_volumeLabel;
  return name + ")";
}
