// Helpers over the nodes a search handed to a recording builder: nodes by
// id and a node's path by parent ids.
#pragma once

#include <map>
#include <string>

#include "CFileNode.h"
#include "IFileProperties.h"
#include "RecordingTreeBuilder.h"

namespace ext2test {

using RecordingBuilder = testutil::RecordingTreeBuilder;

// Node by id (the last one with that id).
inline std::map<int64_t, CFileNode*> ById(const RecordingBuilder& builder) {
  std::map<int64_t, CFileNode*> m;
  for (CFileNode* n : builder.nodes) m[n->GetId()] = n;
  return m;
}

// The path from the root ("" for the root, id 2) by parent ids; "?/..."
// where the chain breaks.
inline std::string PathOf(CFileNode* node, const std::map<int64_t, CFileNode*>& byId) {
  std::string path;
  for (int depth = 0; node && node->GetId() != 2 && depth < 64; ++depth) {
    path = std::string(node->GetProperties()->GetName()) + (path.empty() ? "" : "/" + path);
    auto it = byId.find(node->GetParentId());
    node = it == byId.end() ? nullptr : it->second;
  }
  return node ? path : "?/" + path;
}

using ContinueSink = testutil::CountingSink;

}  // namespace ext2test
