// The interfaces between the internet-traces page and the traces plug-in
// ("TraceSweep.dll", built here as libTraceSweep.so beside the executable).
//
// Strings: every string that crosses these interfaces is a UTF-8
// std::string passed by value (the receiver owns its copy). Both sides are
// built by the same compiler and C++ library, so passing it is safe.
//
// Objects: everything that crosses is reference counted through the virtual
// base IZQObject (count 1 after construction; Release at 0 deletes the
// object). Items handed out by GetFirstItem/GetNextItem carry one reference
// for the caller, who releases it; the plug-in keeps its own, so an item's
// address stays a valid position (and the key of the page's row) for as long
// as the root object lives.
//
// Calls: the page calls the plug-in on its GUI thread; the plug-in calls the
// sink on that same thread, before Scan or Clean returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Reference-counted base of every object that crosses the interfaces.
class IZQObject {
 public:
  IZQObject(const IZQObject&) = delete;
  IZQObject& operator=(const IZQObject&) = delete;
  virtual ~IZQObject() = default;
  // Returns the new count.
  virtual int32_t AddRef() { return m_refCount.fetch_add(1) + 1; }
  // Returns the new count; at 0 the object deletes itself.
  virtual int32_t Release() {
    const int32_t left = m_refCount.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  IZQObject() = default;

 private:
  std::atomic<int32_t> m_refCount{1};
};

class ITraceSweepItem;
class ITraceSweepItemCheck;

// What the page shows of an item; owned by the plug-in, read only.
struct TraceSweepItemInfo {
  std::string name;    // display name (from "ResIDText.xml")
  uint32_t resId = 0;  // text id of the name in "ResIDText.xml"
  std::string icon;    // icon file name, relative to "./Resources/"
  std::string id;      // stable identifier from "Config.xml", e.g. "firefox.cache"
};

// Callbacks of a run, implemented by the page. All return true to go on; a
// false answer from OnProgress, OnGarbageFound or OnGarbageCleaned ends the run.
class ITraceSweepSink : public virtual IZQObject {
 public:
  // percent: 0 to 100. reserved: 0.
  virtual bool OnProgress(int percent, uint32_t reserved) = 0;
  // A trace found by Scan: name is its full path (or the entry's name with
  // size 0 when the entry found nothing); item is the entry it belongs to.
  virtual bool OnGarbageFound(std::string name, uint64_t size, ITraceSweepItem* item) = 0;
  // Clean wants to touch the data of a running program. name: the program's
  // display name; processIds: its process ids, ended by a zero id.
  // reserved: the number of ids. Returns true when the user agreed and the
  // listed processes were (or may be) ended, false when the user refused;
  // on false the program's entries are left alone for this run. On true the
  // plug-in makes sure the processes are gone before it cleans (those still
  // alive get SIGTERM, then SIGKILL after a short wait) and skips the
  // program when one survives.
  virtual bool OnTerminateProcess(std::string name, const uint32_t* processIds, uint32_t reserved) = 0;
  // A trace removed by Clean; same arguments as OnGarbageFound, size = bytes freed.
  virtual bool OnGarbageCleaned(std::string name, uint64_t size, ITraceSweepItem* item) = 0;

 protected:
  ITraceSweepSink() = default;
};

// The kinds of items in the three-level tree.
enum class TraceSweepItemKind : int32_t { Group = 0, Category = 1, Entry = 2 };

// Groups (top level), categories (a program: a browser, the desktop) and
// entries (one kind of trace of that program).
class ITraceSweepItem : public virtual IZQObject {
 public:
  virtual TraceSweepItemKind GetKind() const = 0;
  // First child (caller releases it) or null.
  virtual ITraceSweepItem* GetFirstItem() = 0;
  // The child after previous (caller releases it) or null.
  virtual ITraceSweepItem* GetNextItem(ITraceSweepItem* previous) = 0;
  virtual const TraceSweepItemInfo* GetInfo() const = 0;
  // The check interface of an entry (no reference added; same object), null for groups and categories.
  virtual ITraceSweepItemCheck* QueryCheck() = 0;
  // Categories: true when the program's data exists in the target home.
  // Groups: true when one of their categories is enabled. Entries: true.
  virtual bool IsEnabled() = 0;

 protected:
  ITraceSweepItem() = default;
};

// The check state of an entry: Clean removes only checked entries.
class ITraceSweepItemCheck : public virtual IZQObject {
 public:
  // The entry itself (no reference added).
  virtual ITraceSweepItem* GetItem() = 0;
  virtual void SetChecked(int checked) = 0;
  // Non-zero when checked; starts as "Config.xml" says.
  virtual int IsChecked() const = 0;

 protected:
  ITraceSweepItemCheck() = default;
};

// The root object that GetImp returns.
class ITraceSweep : public virtual IZQObject {
 public:
  // Interface version, TraceSweepVersion.
  virtual uint32_t GetVersion() const = 0;
  // First group (caller releases it) or null.
  virtual ITraceSweepItem* GetFirstItem() = 0;
  // The group after previous (caller releases it) or null.
  virtual ITraceSweepItem* GetNextItem(ITraceSweepItem* previous) = 0;
  // Reads the two files beside the executable; 0 = success. Call once, right after GetImp.
  virtual int64_t Init(std::string configPath, std::string resIdTextPath) = 0;
  // Called when Init failed, before the root object is released.
  virtual int64_t Uninit() = 0;
  // The home folder whose traces Scan and Clean handle (the desktop user's).
  virtual std::string GetTargetHome() = 0;
  // Measures every entry of the enabled categories; reports through the sink.
  virtual int64_t Scan(ITraceSweepSink* sink) = 0;
  // Removes the checked entries of the enabled categories; reports through the sink.
  virtual int64_t Clean(ITraceSweepSink* sink) = 0;

 protected:
  ITraceSweep() = default;
};

constexpr uint32_t TraceSweepVersion = 1;

// The plug-in's factory entry, looked up by name ("GetImp") with
// platform::NamedLibrary. Returns the root object (one reference for the caller) or null.
using TraceSweepGetImpFn = ITraceSweep* (*)();
extern "C" __attribute__((visibility("default"))) ITraceSweep* GetImp();
