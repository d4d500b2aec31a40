// Where the tree builder delivers result nodes; supplied by the caller of a
// recovery. The nodes stay the builder's.
#pragma once

#include <vector>

class CFileNode;

class IRecoveryResultSink {
 public:
  virtual ~IRecoveryResultSink() = default;
  virtual void OnStart(const char* volumeName) = 0;
  virtual void OnNodes(std::vector<CFileNode*>& nodes, int final) = 0;
  virtual void OnRoot(CFileNode* root, int final) = 0;
  virtual void OnRemove(CFileNode* root) = 0;
  virtual void OnNode(CFileNode* node) = 0;
  virtual void OnNodeChanged(CFileNode* node) = 0;
};
