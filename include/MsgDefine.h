// The message-bus vocabulary: every id the program's windows, pages,
// dialogs and workers send, and the payload records they carry.
#pragma once

#include <cstdint>

enum : unsigned int {
  MSG_SWITCH_PAGE = 4661,
  MSG_HIDE_LEFT_PANE = 4668,
  MSG_MENU_STATE = 4670,
  MSG_ADD_FILES = 4682,
  MSG_ADD_FOLDERS = 4683,
  MSG_TITLE_CLOSE = 4684,
  MSG_HEADER_CHECK_TOGGLED = 4685,
  MSG_SET_HEADER_CHECK = 4686,
  MSG_TITLE_REFRESH = 4688,
  MSG_ERASE_FILES_PROGRESS = 4689,
  MSG_ERASE_FILES_DONE = 4690,
  MSG_WIPE_PARTITION_PROGRESS = 4691,
  MSG_WIPE_PARTITION_DONE = 4692,
  MSG_WIPE_FREESPACE_PROGRESS = 4693,
  MSG_WIPE_FREESPACE_START = 4694,
  MSG_WIPE_FREESPACE_DONE = 4695,
  MSG_UPDATE_CHECK_DONE = 4697,
  MSG_APP_CLOSING = 4698,
  MSG_PARTITION_RESCAN_AND_NOTIFY = 4699,
  MSG_PARTITION_RESCAN = 4700,
  MSG_FREESPACE_RESCAN_AND_NOTIFY = 4701,
  MSG_FREESPACE_RESCAN = 4702,
  MSG_HISTORY_LOADED = 4703,
  MSG_FILES_DROPPED = 4704,
  // The uninstaller's own windows.
  MSG_PROGRAM_LIST_LOADED = 4705,
  MSG_SEARCH_PROGRAMS = 4706,  // payload: a QString, sent on the GUI thread only
  MSG_STANDARD_UNINSTALL_DONE = 4707,
  MSG_UNINSTALL_FINISHED = 4708,  // payload: int32, 0 desktop programs, 1 Store apps
  MSG_PROGRAM_LIST_REFRESHED = 4710,  // payload: int32 0
  MSG_PROGRAM_SIZES_DONE = 4711,      // payload: int32 0
  MSG_LEFTOVER_SCAN_DONE = 4712,
  MSG_EXIT_APP = 4713,
  MSG_APP_STARTED = 4916,
};

// Payload of MSG_SWITCH_PAGE and MSG_TITLE_REFRESH.
struct PageMsgData {
  int32_t page = 0;  // page index 0 to 4
  int32_t reserved = 0;
  int32_t param1 = 0;  // first argument of the page's Activate
  int32_t param2 = 0;  // second argument of the page's Activate
};

// Payload of MSG_HEADER_CHECK_TOGGLED and MSG_SET_HEADER_CHECK.
struct HeaderCheckMsgData {
  int32_t checkState = 0;  // 0 unchecked, 1 partly checked, 2 checked
  int32_t reserved = 0;
};

// Payload of the erase and wipe progress and done messages.
struct ProgressMsgData {
  int32_t value = 0;  // progress value; meaning depends on the id
  int32_t code = 0;   // outcome code (EraseResult) in the done messages
  uint8_t flag = 0;   // 1 when the run was cancelled
  uint8_t padding[3] = {0, 0, 0};
  int32_t extra1 = 0;
  int32_t extra2 = 0;  // 0-based pass index in the wipe progress messages
};

// Payload of MSG_MENU_STATE.
struct MenuMsgData {
  int32_t reserved = 0;
  int32_t state = 0;  // 16, 128 or 256
  int32_t x = 0;
  int32_t y = 0;
};

static_assert(sizeof(PageMsgData) == 16, "PageMsgData is 16 bytes");
static_assert(sizeof(HeaderCheckMsgData) == 8, "HeaderCheckMsgData is 8 bytes");
static_assert(sizeof(ProgressMsgData) == 20, "ProgressMsgData is 20 bytes");
static_assert(sizeof(MenuMsgData) == 16, "MenuMsgData is 16 bytes");

// Sends a message with its payload record through the process-wide centre.
// Defined in libs/tlmqt; declared here so that callers need no Qt headers.
int SendBusMsg(unsigned int id, const void* data, unsigned int size);
template <typename T>
inline int SendBusMsg(unsigned int id, const T& record) {
  return SendBusMsg(id, &record, static_cast<unsigned int>(sizeof(T)));
}
inline int SendBusMsg(unsigned int id) { return SendBusMsg(id, nullptr, 0u); }
