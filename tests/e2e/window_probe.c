/* Asks the window system about a top-level window class, for the e2e scripts (a display
 * without a window manager has no taskbar, no focus rules and no stacking of its own):
 *   window_probe CLASS            prints "found=1 iconic=0 foreground=1 top=1" and exits 0, or
 *                                 "found=0" and exits 1 when no window of that class exists;
 *                                 foreground: the foreground window; top: no other visible
 *                                 top-level window lies above it
 *   window_probe CLASS minimize   minimises it first, as a click on its taskbar button would
 *   window_probe cover SECONDS    shows a large window of its own in front for that long */
#define WIN32_LEAN_AND_MEAN
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static int Cover(int seconds) {
  WNDCLASSW wc = {0};
  HWND wnd;
  MSG msg;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"KerfoProbeCover";
  wc.hbrBackground = (HBRUSH)(COLOR_BTNSHADOW + 1);
  RegisterClassW(&wc);
  wnd = CreateWindowExW(0, wc.lpszClassName, L"cover", WS_POPUP | WS_VISIBLE, 0, 0, 2000, 2000,
                        NULL, NULL, wc.hInstance, NULL);
  if (wnd == NULL) return 1;
  SetForegroundWindow(wnd);
  SetTimer(wnd, 1, (UINT)seconds * 1000u, NULL);
  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    DispatchMessageW(&msg);
  }
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  HWND wnd, above;
  int top = 1;
  if (argc < 2) return 2;
  if (argc > 2 && lstrcmpW(argv[1], L"cover") == 0) return Cover(_wtoi(argv[2]));
  wnd = FindWindowW(argv[1], NULL);
  if (wnd == NULL) {
    printf("found=0\n");
    return 1;
  }
  if (argc > 2 && lstrcmpW(argv[2], L"minimize") == 0) {
    ShowWindow(wnd, SW_MINIMIZE);
    Sleep(500);
  }
  for (above = GetWindow(wnd, GW_HWNDPREV); above != NULL; above = GetWindow(above, GW_HWNDPREV)) {
    RECT r;
    if (IsWindowVisible(above) && !IsIconic(above) && GetWindowRect(above, &r) &&
        r.right - r.left > 1 && r.bottom - r.top > 1)
      top = 0;
  }
  printf("found=1 iconic=%d foreground=%d top=%d\n", IsIconic(wnd) ? 1 : 0,
         GetForegroundWindow() == wnd ? 1 : 0, top);
  return 0;
}
