#pragma once

// The rows of message maps, one maker per kind of message, each unpacking wParam and lParam
// into the arguments its handlers take:
//
//   constexpr MessageMapEntry CMyDialog::messageEntries[] = {
//       Message<WM_ERASEBKGND, &CMyDialog::OnEraseBkgnd>(),
//       ControlColorMessages<&CMyDialog::OnCtlColor>(),
//       Command<IDC_START, &CMyDialog::OnStartCommand>(),
//   };
//   constinit const MessageMap CMyDialog::messageMap{&CDialog::messageMap, messageEntries};

#include <windows.h>

#include "framework/dc.h"
#include "framework/message_map.h"
#include "framework/wnd.h"

namespace message_handlers {

template <class Handler>
struct ClassOf;
template <class Class, class Function>
struct ClassOf<Function Class::*> {
  using type = Class;
};

// How a handler of each message is called; `handler` is a member of `Class`.
template <UINT message>
struct Arguments;

template <>
struct Arguments<WM_ERASEBKGND> {
  template <auto handler, class Class>
  static LRESULT Call(Class& target, WPARAM wParam, LPARAM) {
    CDC dc(reinterpret_cast<HDC>(wParam));
    return (target.*handler)(&dc);
  }
};

template <>
struct Arguments<WM_LBUTTONDOWN> {
  template <auto handler, class Class>
  static LRESULT Call(Class& target, WPARAM wParam, LPARAM lParam) {
    // Signed: a point left of or above the client area is negative.
    POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    (target.*handler)(static_cast<UINT>(wParam), point);
    return 0;
  }
};

template <>
struct Arguments<WM_PAINT> {
  template <auto handler, class Class>
  static LRESULT Call(Class& target, WPARAM, LPARAM) {
    (target.*handler)();
    return 0;
  }
};

template <>
struct Arguments<WM_QUERYDRAGICON> {
  template <auto handler, class Class>
  static LRESULT Call(Class& target, WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>((target.*handler)());
  }
};

template <>
struct Arguments<WM_TIMER> {
  template <auto handler, class Class>
  static LRESULT Call(Class& target, WPARAM wParam, LPARAM) {
    (target.*handler)(static_cast<UINT_PTR>(wParam));
    return 0;
  }
};

template <>
struct Arguments<WM_SIZE> {
  template <auto handler, class Class>
  static LRESULT Call(Class& target, WPARAM wParam, LPARAM lParam) {
    (target.*handler)(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
    return 0;
  }
};

template <>
struct Arguments<WM_DRAWITEM> {
  template <auto handler, class Class>
  static LRESULT Call(Class& target, WPARAM wParam, LPARAM lParam) {
    (target.*handler)(static_cast<int>(wParam), reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    return TRUE;
  }
};

}  // namespace message_handlers

// A row for one message.
template <UINT message, auto handler>
constexpr MessageMapEntry Message() {
  using Class = typename message_handlers::ClassOf<decltype(handler)>::type;
  return {message, message, 0, [](CWnd& target, UINT, WPARAM wParam, LPARAM lParam) {
            return message_handlers::Arguments<message>::template Call<handler>(
                static_cast<Class&>(target), wParam, lParam);
          }};
}

// A row for every kind of control-colour request (WM_CTLCOLORMSGBOX ... WM_CTLCOLORSTATIC);
// the handler gets the control's device context, the control and the kind (CTLCOLOR_*).
template <auto handler>
constexpr MessageMapEntry ControlColorMessages() {
  using Class = typename message_handlers::ClassOf<decltype(handler)>::type;
  return {WM_CTLCOLORMSGBOX, WM_CTLCOLORSTATIC, 0,
          [](CWnd& target, UINT message, WPARAM wParam, LPARAM lParam) {
            CDC dc(reinterpret_cast<HDC>(wParam));
            HWND controlWindow = reinterpret_cast<HWND>(lParam);
            CWnd unbound(controlWindow);
            CWnd* bound = CWnd::FromHandlePermanent(controlWindow);
            HBRUSH brush = (static_cast<Class&>(target).*handler)(
                &dc, bound != nullptr ? bound : &unbound, message - WM_CTLCOLORMSGBOX);
            return reinterpret_cast<LRESULT>(brush);
          }};
}

// A row for a click on the control with this id (WM_COMMAND with BN_CLICKED).
template <int id, auto handler>
constexpr MessageMapEntry Command() {
  using Class = typename message_handlers::ClassOf<decltype(handler)>::type;
  return {WM_COMMAND, WM_COMMAND, id, [](CWnd& target, UINT, WPARAM, LPARAM) -> LRESULT {
            (static_cast<Class&>(target).*handler)();
            return 0;
          }};
}
