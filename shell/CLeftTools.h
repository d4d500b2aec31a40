// The navigation column: buttons that pick the page of the page area (files,
// partition wipe, free-space wipe, internet cleanup) and open the erasure
// method and history dialogs. It follows every page switch to mark the
// button of the page on show.
#pragma once

#include <QVBoxLayout>

#include "CBPMsgReceiver.h"

class CLeftBtn;

class CLeftTools : public QVBoxLayout, public CBPMsgReceiver {
  Q_OBJECT
 public:
  explicit CLeftTools(QWidget* parent = nullptr);
  ~CLeftTools() override;

  void RetranslateUi();
  int ReceiveMsg(__MsgData msg) override;

  int CurrentPage() const { return m_currentPage; }
  CLeftBtn* FileButton() const { return m_file; }
  CLeftBtn* PartitionButton() const { return m_partition; }
  CLeftBtn* FreeSpaceButton() const { return m_freeSpace; }
  CLeftBtn* AlgorithmButton() const { return m_algorithm; }
  CLeftBtn* HistoryButton() const { return m_history; }
  CLeftBtn* InternetButton() const { return m_internet; }
  // Built and connected, but kept out of the column: the uninstaller has no page.
  CLeftBtn* UninstallerButton() const { return m_uninstaller; }

 public Q_SLOTS:
  void OnShowFilePage();
  void OnShowPartitionPage();
  void OnShowFreeSpacePage();
  void OnWipeAlgorithm();
  void OnWipeHistory();
  void OnShowInternetPage();
  void OnShowUninstallerPage();

 private:
  CLeftBtn* MakeButton(bool plain, int fontPixelSize, void (CLeftTools::*slot)());
  void SelectPageButton(int page);

  CLeftBtn* m_file = nullptr;
  CLeftBtn* m_partition = nullptr;
  CLeftBtn* m_freeSpace = nullptr;
  CLeftBtn* m_algorithm = nullptr;
  CLeftBtn* m_history = nullptr;
  CLeftBtn* m_internet = nullptr;
  CLeftBtn* m_uninstaller = nullptr;
  int m_currentPage = 5;
  bool m_pageKnown = true;
};
