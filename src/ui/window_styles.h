// Window style bits the installer's windows are created with. The values are the system's
// (WS_*, WS_EX_*), written out so that the window logic needs no system header; every
// toolkit backend reads them with these meanings.
#pragma once

#include <cstdint>

namespace ui {

constexpr uint32_t kWsPopup = 0x80000000u;
constexpr uint32_t kWsVisible = 0x10000000u;
constexpr uint32_t kWsClipSiblings = 0x04000000u;
constexpr uint32_t kWsClipChildren = 0x02000000u;
constexpr uint32_t kWsCaption = 0x00C00000u;
constexpr uint32_t kWsSysMenu = 0x00080000u;
constexpr uint32_t kWsMinimizeBox = 0x00020000u;

constexpr uint32_t kWsExDlgModalFrame = 0x00000001u;
constexpr uint32_t kWsExToolWindow = 0x00000080u;

}  // namespace ui
