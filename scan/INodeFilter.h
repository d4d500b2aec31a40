// The caller's choice of the result nodes to keep.
#pragma once

class CFileNode;

class INodeFilter {
 public:
  virtual ~INodeFilter() = default;
  // 0 rejects the node.
  virtual int Accept(CFileNode* node) = 0;
};
