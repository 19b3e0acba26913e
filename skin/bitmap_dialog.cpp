#include "skin/bitmap_dialog.h"

#include <algorithm>
#include <string_view>

#include "framework/message_handlers.h"
#include "skin/dib.h"
#include "skin/image.h"
#include "skin/key_color_shape.h"

namespace {
// A background whose key pixels make more rectangles than this is no outline but noise (a
// dithered or lossy picture), and Wine's display driver ends the process on a shape past
// 32767 rectangles: such a window stays a plain rectangle.
bool TooRagged(HRGN shape) {
  constexpr DWORD kMaxRectangles = 32000;
  DWORD bytes = GetRegionData(shape, 0, nullptr);
  return bytes > sizeof(RGNDATAHEADER) + kMaxRectangles * sizeof(RECT);
}
}  // namespace

constexpr MessageMapEntry CBitmapDialog::messageEntries[] = {
    Message<WM_ERASEBKGND, &CBitmapDialog::OnEraseBkgnd>(),
    Message<WM_LBUTTONDOWN, &CBitmapDialog::OnLButtonDown>(),
    ControlColorMessages<&CBitmapDialog::OnCtlColor>(),
};
constinit const MessageMap CBitmapDialog::messageMap{&CDialog::messageMap, messageEntries};

CBitmapDialog::CBitmapDialog(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent), m_nullBrush(static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))) {}

CBitmapDialog::~CBitmapDialog() { ReleaseBackground(); }

const MessageMap* CBitmapDialog::GetMessageMap() const { return &messageMap; }

BOOL CBitmapDialog::LoadBackground(const std::string& path) {
  ReleaseBackground();
  CImage image;
  if (!image.Load(path)) return FALSE;
  return SetBackground(image.GetHandle());
}

BOOL CBitmapDialog::SetBackground(HBITMAP source) {
  ReleaseBackground();
  BITMAP size{};
  if (GetObjectA(source, sizeof(size), &size) != sizeof(size)) return FALSE;
  void* bits = nullptr;
  auto copy =
      std::make_unique<CBitmap>(CreateTopDownDib(size.bmWidth, size.bmHeight, 32, {}, &bits));
  if (copy->GetSafeHandle() == nullptr) return FALSE;
  {
    platform::OwnedMemoryDC from(CreateCompatibleDC(nullptr));
    platform::OwnedMemoryDC to(CreateCompatibleDC(nullptr));
    platform::Selection sourceSelected(from.get(), source);
    platform::Selection copySelected(to.get(), copy->GetSafeHandle());
    if (!sourceSelected.ok() || !copySelected.ok() ||
        !BitBlt(to.get(), 0, 0, size.bmWidth, size.bmHeight, from.get(), 0, 0, SRCCOPY)) {
      return FALSE;
    }
  }
  m_background = std::move(copy);
  m_ownsBackground = 1;
  m_hasBackground = 1;
  UpdateWindowShape();
  return TRUE;
}

void CBitmapDialog::ReleaseBackground() {
  m_background.reset();
  m_ownsBackground = 0;
  m_hasBackground = 0;
}

void CBitmapDialog::UpdateWindowShape() {
  RECT window{}, client{};
  GetWindowRect(&window);
  GetClientRect(&client);
  platform::OwnedRegion shape(m_shapeFromBackground != 0 ? BackgroundShape(window, client)
                                                         : nullptr);
  if (!shape || TooRagged(shape.get())) {
    shape.Reset(CreateRectRgn(0, 0, window.right - window.left, window.bottom - window.top));
  }
  // Once applied, the region belongs to the window.
  if (shape && SetWindowRgn(m_hWnd, shape.get(), TRUE)) shape.Release();
}

// In window coordinates: the frame (window minus client area), and every non-key pixel of the
// background where it lies over the client area.
HRGN CBitmapDialog::BackgroundShape(const RECT& window, const RECT& client) const {
  POINT clientOrigin{0, 0};
  ClientToScreen(&clientOrigin);
  POINT offset{clientOrigin.x - window.left, clientOrigin.y - window.top};
  platform::OwnedRegion shape(
      CreateRectRgn(0, 0, window.right - window.left, window.bottom - window.top));
  platform::OwnedRegion clientArea(
      CreateRectRgn(offset.x, offset.y, offset.x + client.right, offset.y + client.bottom));
  if (!shape || !clientArea ||
      CombineRgn(shape.get(), shape.get(), clientArea.get(), RGN_XOR) == ERROR) {
    return nullptr;
  }
  DibPixels pixels =
      m_ownsBackground != 0 ? PixelsOf32BitDib(m_background->GetSafeHandle()) : DibPixels{};
  platform::OwnedRegion background(KeyColorShape(pixels, std::min<int>(pixels.width, client.right),
                                                 std::min<int>(pixels.height, client.bottom),
                                                 m_keyColor, offset));
  if (!background || CombineRgn(shape.get(), shape.get(), background.get(), RGN_OR) == ERROR) {
    return nullptr;
  }
  return shape.Release();
}

BOOL CBitmapDialog::OnEraseBkgnd(CDC* dc) {
  if (m_hasBackground == 0) return static_cast<BOOL>(Default());
  RECT client{};
  GetClientRect(&client);
  platform::OwnedMemoryDC source(CreateCompatibleDC(dc->GetSafeHdc()));
  platform::Selection selected(source.get(), m_background->GetSafeHandle());
  dc->BitBlt(0, 0, client.right, client.bottom, source.get(), 0, 0, SRCCOPY);
  return TRUE;
}

void CBitmapDialog::OnLButtonDown(UINT, POINT point) {
  Default();
  // The window manager then moves the window with the mouse, as if its caption were held.
  if (m_dragAnywhere != 0) {
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
  }
}

HBRUSH CBitmapDialog::OnCtlColor(CDC* dc, CWnd* control, UINT kind) {
  HBRUSH base = reinterpret_cast<HBRUSH>(Default());
  if (m_transparentStatics == 0 || kind != CTLCOLOR_STATIC) return base;
  char className[255] = {};
  GetClassNameA(control->m_hWnd, className, sizeof(className));
  if (std::string_view(className) == "msctls_trackbar32") return base;
  dc->SetBkMode(TRANSPARENT);
  return m_nullBrush;
}
