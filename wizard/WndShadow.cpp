// Shadow window, its subclass procedure and the shadow bitmap renderer.
#include "wizard/WndShadow.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {

const wchar_t kShadowClassName[] = L"ZelboShadowWnd";

bool g_classRegistered = false;
HINSTANCE g_shadowInstance = nullptr;

std::map<HWND, CWndShadow*>& Registry() {
  static std::map<HWND, CWndShadow*> registry;
  return registry;
}

struct Span {
  int left;
  int right;  // exclusive
  bool Empty() const { return left >= right; }
};

}  // namespace

CWndShadow::CWndShadow()
    : m_shadowWindow(nullptr),
      m_previousProc(nullptr),
      m_status(0),
      m_darkness(63),
      m_sharpness(5),
      m_size(0),
      m_xOffset(0),
      m_yOffset(0),
      m_lastSize(0),
      m_updatePending(false),
      m_color(RGB(0, 0, 0)) {}

CWndShadow::~CWndShadow() {}

bool CWndShadow::RegisterShadowClass(HINSTANCE instance) {
  if (g_classRegistered) return false;
  g_shadowInstance = instance;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kShadowClassName;
  RegisterClassExW(&wc);
  g_classRegistered = true;
  return true;
}

size_t CWndShadow::AttachedCount() { return Registry().size(); }

void CWndShadow::AttachToParent(HWND page) {
  if (!g_classRegistered) return;
  std::map<HWND, CWndShadow*>& registry = Registry();
  if (registry.find(page) != registry.end()) return;
  registry[page] = this;
  m_shadowWindow = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, kShadowClassName, nullptr,
                                   WS_POPUPWINDOW, CW_USEDEFAULT, 0, 0, 0, page, nullptr,
                                   g_shadowInstance, nullptr);
  m_status = kEnabled;
  ShowByParentState(page);
  m_previousProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(page, GWLP_WNDPROC));
  SetWindowLongPtrW(page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWndShadow::ParentWindowProc));
}

void CWndShadow::Hide() { ShowWindow(m_shadowWindow, SW_HIDE); }

void CWndShadow::ShowByParentState(HWND page) {
  m_status &= kEnabled | kDisabled;
  if ((m_status & kEnabled) && !(m_status & kDisabled)) {
    LONG_PTR style = GetWindowLongPtrW(page, GWL_STYLE);
    if (style & WS_VISIBLE) {
      m_status |= kParentVisible;
      if (!(style & (WS_MAXIMIZE | WS_MINIMIZE))) m_status |= kShown;
    }
  }
  if (m_status & kShown) {
    ShowWindow(m_shadowWindow, SW_SHOWNA);
    Redraw(page);
  } else {
    Hide();
  }
}

void CWndShadow::Redraw(HWND page) {
  RECT r;
  if (!GetWindowRect(page, &r)) return;
  const int width = r.right - r.left + 2 * m_size;
  const int height = r.bottom - r.top + 2 * m_size;
  if (width <= 0 || height <= 0) return;

  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return;
  }
  ZeroMemory(bits, static_cast<size_t>(width) * height * 4);
  RenderShadow(r, static_cast<uint32_t*>(bits), page);

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  POINT position = {r.left + m_xOffset - m_size, r.top + m_yOffset - m_size};
  MoveWindow(m_shadowWindow, position.x, position.y, width, height, FALSE);
  SIZE size = {width, height};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(m_shadowWindow, screen, &position, &size, memory, &source, 0, &blend, ULW_ALPHA);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
}

void CWndShadow::RenderShadow(const RECT& pageRect, uint32_t* bits, HWND page) {
  const int w = pageRect.right - pageRect.left;
  const int h = pageRect.bottom - pageRect.top;
  const int size = m_size;
  const int sharpness = m_sharpness;
  const int u = std::max(size, sharpness);
  const int solid = size > sharpness ? size - sharpness : 0;
  const int width = w + 2 * size;
  const int n = h + 2 * size;

  HRGN region = CreateRectRgn(0, 0, w, h);
  if (GetWindowRgn(page, region) == ERROR) SetRectRgn(region, 0, 0, w, h);

  // spans[0] and spans[n + 1] are the empty sentinels around the n rows.
  const Span empty = {w, 0};
  std::vector<Span> spans(n + 2, empty);
  std::vector<Span> pageSpans(h, empty);
  for (int i = 0; i < h; ++i) {
    int first = -1;
    for (int x = 0; x < w; ++x) {
      if (PtInRegion(region, x, i)) {
        first = x;
        break;
      }
    }
    if (first < 0) continue;
    int last = first;
    for (int x = w - 1; x > first; --x) {
      if (PtInRegion(region, x, i)) {
        last = x;
        break;
      }
    }
    pageSpans[i].left = first;
    pageSpans[i].right = last + 1;
    spans[i + size + 1].left = first + size;
    spans[i + size + 1].right = last + 1 + size;
  }

  for (int round = 0; round < sharpness - size; ++round) {
    std::vector<Span> eroded(spans);
    for (int i = 1; i <= n; ++i) {
      eroded[i].left = std::max({spans[i - 1].left, spans[i].left, spans[i + 1].left}) + 1;
      eroded[i].right = std::min({spans[i - 1].right, spans[i].right, spans[i + 1].right}) - 1;
    }
    spans.swap(eroded);
  }

  auto premultiply = [this](int alpha) -> uint32_t {
    uint32_t a = static_cast<uint32_t>(alpha);
    uint32_t red = GetRValue(m_color) * a / 255;
    uint32_t green = GetGValue(m_color) * a / 255;
    uint32_t blue = GetBValue(m_color) * a / 255;
    return (a << 24) | (red << 16) | (green << 8) | blue;
  };
  const int k = 2 * u + 1;
  std::vector<uint32_t> kernel(static_cast<size_t>(k) * k);
  for (int y = -u; y <= u; ++y) {
    for (int x = -u; x <= u; ++x) {
      double d = std::sqrt(static_cast<double>(x * x + y * y));
      int alpha = 0;
      if (d < solid) {
        alpha = m_darkness;
      } else if (d <= u) {
        alpha = static_cast<int>((1.0 - (d - solid) / (sharpness + 1)) * m_darkness);
        if (alpha < 0) alpha = 0;
      }
      kernel[static_cast<size_t>(y + u) * k + (x + u)] = premultiply(alpha);
    }
  }

  // Row r of the shadow (top-down) is bitmap row n - 1 - r (bottom-up).
  auto pixel = [&](int row, int column) -> uint32_t& {
    return bits[static_cast<size_t>(n - 1 - row) * width + column];
  };
  auto stamp = [&](int row, int column) {
    for (int ky = 0; ky < k; ++ky) {
      int by = row - u + ky;
      if (by < 0 || by >= n) continue;
      for (int kx = 0; kx < k; ++kx) {
        int bx = column - u + kx;
        if (bx < 0 || bx >= width) continue;
        uint32_t& target = pixel(by, bx);
        target = std::max(target, kernel[static_cast<size_t>(ky) * k + kx]);
      }
    }
  };
  for (int r = u; r < n - u; ++r) {
    const Span& s = spans[r + 1];
    if (s.Empty()) continue;
    const Span& above = spans[r];
    const Span& below = spans[r + 2];
    int leftEnd = std::min(s.right, std::max(above.left, below.left) + 1);
    for (int x = s.left; x < leftEnd; ++x) stamp(r, x);
    int rightStart = std::max(s.left, std::min(above.right, below.right) - 1);
    for (int x = rightStart; x < s.right; ++x) stamp(r, x);
  }

  const uint32_t solidPixel = premultiply(m_darkness);
  const int k0 = std::min(std::max(size - m_yOffset, 0), u);
  const int k1 = std::max(n - u, std::min(size - m_yOffset + h, n));
  for (int r = k0; r < k1; ++r) {
    const Span& s = spans[r + 1];
    if (s.Empty()) continue;
    int left = std::max(s.left, 0);
    int right = std::min(s.right, width);
    for (int x = left; x < right; ++x) pixel(r, x) = solidPixel;
    int pageRow = r + m_yOffset - size;
    if (pageRow >= 0 && pageRow < h && !pageSpans[pageRow].Empty()) {
      int shift = size - m_xOffset;
      int from = std::max(pageSpans[pageRow].left + shift, 0);
      int to = std::min(pageSpans[pageRow].right + shift, width);
      for (int x = from; x < to; ++x) pixel(r, x) = 0;
    }
  }
  DeleteObject(region);
}

LRESULT CALLBACK CWndShadow::ParentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::map<HWND, CWndShadow*>& registry = Registry();
  auto found = registry.find(window);
  if (found == registry.end()) return DefWindowProcW(window, message, wParam, lParam);
  CWndShadow* shadow = found->second;
  WNDPROC previous = shadow->m_previousProc;
  const bool active = (shadow->m_status & kEnabled) && !(shadow->m_status & kDisabled);

  switch (message) {
    case WM_DESTROY:
      DestroyWindow(shadow->m_shadowWindow);
      break;
    case WM_MOVE:
      if (shadow->m_status & kShown) {
        RECT r;
        GetWindowRect(window, &r);
        SetWindowPos(shadow->m_shadowWindow, nullptr, r.left + shadow->m_xOffset - shadow->m_size,
                     r.top + shadow->m_yOffset - shadow->m_size, 0, 0, SWP_NOACTIVATE | SWP_NOSIZE);
      }
      break;
    case WM_SIZE:
      if (active) {
        if (wParam == SIZE_MAXIMIZED || wParam == SIZE_MINIMIZED) {
          shadow->Hide();
          shadow->m_status &= ~kShown;
        } else if (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) {
          shadow->m_status |= kParentVisible;
          if (shadow->m_status & kShown) {
            if (LOWORD(lParam) < LOWORD(shadow->m_lastSize) && HIWORD(lParam) < HIWORD(shadow->m_lastSize)) {
              shadow->Redraw(window);
            } else {
              shadow->m_updatePending = true;
            }
          } else {
            shadow->m_status |= kShown;
            shadow->Redraw(window);
            ShowWindow(shadow->m_shadowWindow, SW_SHOWNA);
            shadow->m_updatePending = true;
          }
        }
        shadow->m_lastSize = lParam;
      }
      break;
    case WM_PAINT:
      if (shadow->m_updatePending) {
        shadow->Redraw(window);
        shadow->m_updatePending = false;
      }
      break;
    case WM_SHOWWINDOW:
      if (active) {
        LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
        if (wParam) {
          shadow->m_updatePending = true;
          shadow->ShowByParentState(window);
        } else {
          shadow->Hide();
          shadow->m_status &= ~(kShown | kParentVisible);
        }
        return result;
      }
      break;
    case WM_WINDOWPOSCHANGED:
      // WM_SHOWWINDOW arrives before the page has WS_VISIBLE, so the shadow
      // is shown again once the page really is visible.
      if (active && !(shadow->m_status & kShown) &&
          (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW)) {
        LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
        shadow->ShowByParentState(window);
        return result;
      }
      break;
    case WM_NCDESTROY:
      registry.erase(window);
      break;
    case WM_EXITSIZEMOVE:
      if (shadow->m_status & kShown) shadow->Redraw(window);
      break;
    case 0x031E:  // WM_DWMCOMPOSITIONCHANGED, not declared for the oldest target
      shadow->ShowByParentState(window);
      break;
    default:
      break;
  }
  return CallWindowProcW(previous, window, message, wParam, lParam);
}
