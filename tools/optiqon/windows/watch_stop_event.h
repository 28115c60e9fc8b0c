// The event that stops the watcher: the watcher makes it, `optiqon watch --stop` sets it. Named in
// the session's namespace (Local\), where any process of the user's logon session finds it
// without the rights that the machine-wide namespace (Global\) asks; so each logged-on user's
// watcher has its own.
#pragma once

inline constexpr const wchar_t* WatchStopEventName = L"Local\\OptiqonWatchStop";
