#pragma once

#include <windows.h>

#include <span>

class CWnd;

// One row of a class's message map: the messages it takes (one, or a range such as every
// WM_CTLCOLOR kind), for WM_COMMAND the control id, and the handler, reached through a small
// function that unpacks wParam and lParam into the handler's arguments (message_handlers.h).
struct MessageMapEntry {
  UINT firstMessage;
  UINT lastMessage;
  int commandId;
  LRESULT (*call)(CWnd& target, UINT message, WPARAM wParam, LPARAM lParam);

  bool Matches(UINT message, WPARAM wParam) const {
    if (message < firstMessage || message > lastMessage) return false;
    return message != WM_COMMAND ||
           (LOWORD(wParam) == static_cast<WORD>(commandId) && HIWORD(wParam) == BN_CLICKED);
  }
};

// A class's own rows, searched first, then its base class's map; a message no map takes goes
// to the window's default processing.
struct MessageMap {
  const MessageMap* base;
  std::span<const MessageMapEntry> entries;
};
