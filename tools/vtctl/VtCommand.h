// Subcommand registry of vtctl. A subcommand file defines a function and
// registers it at start-up:
//
//   static int CmdDisks(const std::vector<std::string>& args);
//   static VtRegistrar reg("disks", "disks: print the disk table", CmdDisks);
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

using VtHandler = std::function<int(const std::vector<std::string>& args)>;

struct VtCommandInfo {
  std::string usage;
  VtHandler handler;
};

std::map<std::string, VtCommandInfo>& VtCommands();

struct VtRegistrar {
  VtRegistrar(const std::string& name, const std::string& usage, VtHandler handler) {
    VtCommands()[name] = {usage, std::move(handler)};
  }
};
