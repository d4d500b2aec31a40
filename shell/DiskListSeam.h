// What the main window needs to know of the disk list service, which lives
// in a library above the shell: whether a listing runs now, and when one has
// ended. The service installs the probe and reports each end; without a
// probe no listing is ever running.
#pragma once

#include <QObject>

#include <functional>

class DiskListSeam : public QObject {
  Q_OBJECT
 public:
  static DiskListSeam* instance();

  // Installs (an empty function removes) the question "is a listing running?".
  // It is asked on the GUI thread.
  void SetRunningProbe(std::function<bool()> probe);
  bool IsListingRunning() const;
  // Called from any thread once a listing has ended; listingEnded is then
  // delivered on the GUI thread.
  void NotifyListingEnded();

 Q_SIGNALS:
  void listingEnded();

 private:
  DiskListSeam() = default;
  std::function<bool()> m_probe;
};
