// The sending side of the message bus and the record a receiver gets.
#pragma once

#include <cstdint>

typedef unsigned int uint;

// What ReceiveMsg is handed. `id` and `data` are all a receiver reads;
// the remaining words belong to the bus.
struct __MsgData {
  uint id = 0;
  const void* data = nullptr;  // the payload bytes, null when the message has none
  uint size = 0;               // payload size in bytes
  int param = 0;               // the sender's param (always 0 in this program)
  uint reserved = 0;
};

class INotifyCentor {
 public:
  virtual ~INotifyCentor() = default;
  // Sends message `id` with `size` bytes at `data` to every receiver that
  // registered it. The payload only has to live for the duration of the call.
  virtual int SendMsg(uint id, int param, const void* data, uint size) = 0;
};
