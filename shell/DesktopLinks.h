// Opening web links (help, support, product page, download page) in the
// desktop user's browser. The opener is replaceable so that tests can
// capture the links instead of starting a browser.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

using LinkOpener = std::function<bool(const QUrl&)>;

// Installs `opener` and returns the previous one; an empty opener puts the
// desktop opener back.
LinkOpener SetLinkOpener(LinkOpener opener);
// Hands `url` to the current opener; an empty or invalid link opens nothing.
bool OpenLink(const QUrl& url);
// Reads [URL] `key` (GetConfigValue) and opens it, read in tolerant mode.
// A link that no browser opened is shown in a message box.
bool OpenConfiguredLink(const QString& key);
// F1 and the user-guide entry: [URL] ID_LINK_HELP.
bool OpenHelpLink();
// The desktop opener (http, https, mailto and file links only):
// QDesktopServices for the current user, or xdg-open
// run as the desktop user when the program runs as root on their behalf.
bool OpenLinkAsDesktopUser(const QUrl& url);
