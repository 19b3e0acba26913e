// sample-game.exe: the demo's game. It notes its command line in game-started.txt in the
// current directory, says that the game is up to date, and closes itself after a few seconds.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/handles_win32.h"

namespace {

constexpr const char kTitle[] = "Veldra Sample Game";
constexpr UINT_PTR kTick = 1;
constexpr int kSecondsShown = 5;

using OwnedFont = platform::Owned<platform::GdiObjectTraits<HFONT>>;
using OwnedBrush = platform::Owned<platform::GdiObjectTraits<HBRUSH>>;

int g_secondsLeft = kSecondsShown;

bool NoteCommandLine() {
  FILE* file = std::fopen("game-started.txt", "wb");
  if (file == nullptr) return false;
  bool written = std::fputs(GetCommandLineA(), file) >= 0;
  return std::fclose(file) == 0 && written;
}

OwnedFont Font(int height, int weight) {
  return OwnedFont(CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                               DEFAULT_PITCH | FF_SWISS, "Tahoma"));
}

void Line(HDC dc, RECT box, const std::string& text, int height, int weight, COLORREF colour) {
  OwnedFont font = Font(height, weight);
  platform::Selection selected(dc, font.get());
  SetTextColor(dc, colour);
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box,
            DT_CENTER | DT_SINGLELINE | DT_VCENTER);
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  OwnedBrush ground(CreateSolidBrush(RGB(18, 26, 42)));
  FillRect(dc, &client, ground.get());
  SetBkMode(dc, TRANSPARENT);
  int third = client.bottom / 3;
  Line(dc, {0, 0, client.right, third + 20}, "VELDRA", 44, FW_BOLD, RGB(230, 180, 80));
  Line(dc, {0, third, client.right, 2 * third}, "The game is up to date. Have fun!", 20, FW_NORMAL,
       RGB(232, 236, 244));
  Line(dc, {0, 2 * third - 10, client.right, client.bottom - 10},
       "This window closes in " + std::to_string(g_secondsLeft) + " s", 14, FW_NORMAL,
       RGB(150, 170, 200));
  EndPaint(window, &paint);
}

void OnTick(HWND window) {
  if (--g_secondsLeft <= 0) {
    DestroyWindow(window);
    return;
  }
  InvalidateRect(window, nullptr, FALSE);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_TIMER:
      OnTick(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  if (!NoteCommandLine()) return 1;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "VeldraSampleGame";
  if (RegisterClassA(&windowClass) == 0) return 1;
  RECT frame{0, 0, 520, 240};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&frame, style, FALSE);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  HWND window = CreateWindowA(windowClass.lpszClassName, kTitle, style,
                              (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                              (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                              nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  SetTimer(window, kTick, 1000, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
