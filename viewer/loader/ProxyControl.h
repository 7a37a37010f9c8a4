// The program's hold on the local caching proxy: the probe at start-up that
// starts the `harbord` beside `vantlow` when nothing listens, and the switch
// between online and offline mode through the proxy's admin page.
#pragma once

#include "viewer/loader/GetUrl.h"
#include "viewer/loader/ProxyAddress.h"

#include <functional>
#include <string>
#include <vector>

enum class ProbeResult {
    Running,     // something listens at the proxy's address
    Started,     // nothing did; the proxy program was started
    NotStarted,  // nothing did, and the proxy program could not be started
    NotLocal,    // the proxy is on another computer: not probed
};

// Status texts go to `status`; an empty text clears the status line. There
// is no wait for a started proxy to accept connections.
ProbeResult ProxyProbe(const ProxyAddress& proxy, const std::function<void(const std::string&)>& status);

// True when a connection to the proxy can be made.
bool ProxyListening(const ProxyAddress& proxy);

// The proxy program beside the running executable; an installed one (not in
// a build tree) takes the first harbord on PATH, if there is one.
std::string ProxyProgramPath();
// $XDG_STATE_HOME/vantlow/harbord.log, or ~/.local/state/vantlow/harbord.log.
std::string ProxyLogPath();

// Starts program with args, detached in a session of its own, in the
// program's directory, with standard input from /dev/null and its output
// appended to logPath (whose directory is made when missing). True once the
// program is running.
bool StartProxyProgram(const std::string& program, const std::vector<std::string>& args,
                       const std::string& logPath);

// Fetches http://quaylo/options?offline=1 (or =0) through the proxy. The
// proxy changes its mode only for a request carrying its admin token, and
// answers one without with a confirmation page whose form holds the token:
// the request is then made again with "&token=" and that value. 0 with a
// failure report pending when a fetch failed.
int SwitchProxyMode(const ProxyAddress& proxy, bool offline, const FetchWaits& waits = FetchWaits());

// The admin token in the hidden input of a confirmation page; "" when none.
std::string ProxyTokenOfPage(const std::string& page);

// The admin page that switches the mode.
std::string ProxyModeUrl(bool offline);

enum class ProxyMode { Unknown, Online, Offline };
// The proxy's mode as its options page shows it; Unknown (with a failure
// report pending when the page could not be fetched) when it cannot be told.
ProxyMode ReadProxyMode(const ProxyAddress& proxy, const FetchWaits& waits = FetchWaits());
// The mode marked in the options page text.
ProxyMode ProxyModeOfPage(const std::string& page);
